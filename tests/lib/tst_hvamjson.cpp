#include "hvamjson.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// The game tree of the copy, each file holding its own path, and what values leading out of
// the game would reach.
const char* const gameFiles = R"(VaM.exe Saves/scene/a.jpg ../outside.var ../../outside.txt
    Custom/Clothing/Female/x/a.vam Custom/Clothing/Female/x/a.jpg
    Custom/Clothing/Female/x/sub/inner.txt Custom/Hair/Female/h/b.vam Custom/Hair/Female/h/b.vaj
    Custom/Hair/Female/h/b.jpg Custom/Atom/Person/Morphs/female/m.vmi
    Custom/Atom/Person/Morphs/female/m.vmb Custom/Assets/x.assetbundle
    AddonPackages/Author/Sub/Author.Pkg.1.var AddonPackages/Unused.Pack.1.var)";

const QByteArray copyScene = R"({"atoms": [{"id": "Person", "type": "Person", "storables": [
  {"id": "geometry", "clothing": [{"id": "Custom/Clothing/Female/x/a.vam"}], "hair": [{"id":
   "Custom/Hair/Female/h/b.vam"}], "morphs": [{"uid": "Custom/Atom/Person/Morphs/female/m.vmi"}]},
  {"id": "PluginManager", "plugins": {"plugin#0": "Author.Pkg.1:/Custom/Scripts/a.cs", "plugin#1":
   "Missing.Pkg.1:/Custom/m.cs"}}, {"id": "asset", "assetUrl": "Custom/Assets/x.assetbundle"}]}]})";

} // namespace

class TestHVamJson : public QObject
{
    Q_OBJECT
private slots:
    void documents_data();
    void documents();
    void copyStaysInside_data();
    void copyStaysInside();
};

void TestHVamJson::documents_data()
{
    QTest::addColumn<QByteArray>("json");
    // Dependencies, contents and atoms.
    QTest::addColumn<QStringList>("lists");
    QTest::newRow("dependencies by name, not file order")
        << QByteArray(R"({"dependencies": {
        "Zed.Look.2": {"licenseType": "CC BY"}, "Alpha.Scene.latest": {"licenseType": "PC",
        "dependencies": {"Nested.Pkg.1": {"licenseType": "FC"}}}},
        "contentList": ["z.json", "a.vap"]})")
        << QStringList({"Alpha.Scene.latest|PC|Zed.Look.2|CC BY", "z.json|a.vap", ""});
    QTest::newRow("odd types") << QByteArray(R"({"dependencies": {"A.b.1": {}, "B.c.2": "FC",
        "C.d.3": {"licenseType": 4}}, "contentList": ["a", 12, null]})")
                               << QStringList({"A.b.1||B.c.2||C.d.3|", "a||", ""});
    QTest::newRow("top-level array")
        << QByteArray(R"([{"dependencies": {"A.b.1": {}}}])") << QStringList({"", "", ""});
    QTest::newRow("not JSON") << QByteArray(R"({"dependencies": )") << QStringList({"", "", ""});
    // Plugins end at the first gap; "text" in lower case is no text; a null link is none.
    QTest::newRow("atoms")
        << QByteArray(R"({"atoms": [{"id": "Person", "type": "Person", "storables": [
      {"id": "PluginManager", "plugins": {"plugin#0": "Author.Pkg.1:/a.cs", "plugin#2": "c"}},
      {"id": "control", "linkTo": "Table"}, {"id": "text", "text": "t"}]},
      {"id": "Button", "type": "UIButton", "storables": [{"id": "Trigger", "trigger": {
        "startActions": [{"receiverAtom": "Person", "receiver": "geometry", "receiverTargetName":
        "smile"}], "endActions": [{"receiverAtom": "Light"}]}}, {"id": "Text", "text": "Press"}]},
      {"id": "Table", "type": "Person", "storables": [{"id": "control", "linkTo": null},
      {"id": "PluginManager", "plugins": {"plugin#0": null, "plugin#1": "Custom/x.cs"}}]}]})")
        << QStringList({"", "",
                        "Person|Person|Author.Pkg.1:/a.cs|Table|\nButton|UIButton|||Press|"
                        "startActions:Person>geometry>smile|endActions:Light>>\nTable|Person|||"});
}

void TestHVamJson::documents()
{
    QFETCH(QByteArray, json);
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("a.json"), json));
    HVamJson doc;
    QCOMPARE(doc.Load(dir.filePath("a.json")), QTest::currentDataTag() != QString("not JSON"));
    QStringList dependencies{"stale"}, contents{"stale"}, atoms;
    QVERIFY(doc.getDependencies(dependencies) && doc.getContentList(contents));
    // A second analysis replaces the atoms of the first.
    QVERIFY(doc.enumAtom() && doc.enumAtom());
    for (const VamAtom& atom : doc.atoms) {
        atoms << QStringList{atom.id, atom.type, atom.plugins.join(","), atom.linkTo, atom.text}
                     .join("|");
        for (const VamActionGroup* group : {&atom.startActions, &atom.endActions}) {
            for (const VamAction& a : group->actions) {
                atoms.last() += "|" + group->name + ":" + a.receiverAtom + ">" + a.receiver + ">" +
                                a.receiverTargetName;
            }
        }
    }
    QTEST(QStringList({dependencies.join('|'), contents.join('|'), atoms.join('\n')}), "lists");
}

void TestHVamJson::copyStaysInside_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("only what the scene names") << QString() << QString();
    const QString rows = "hair ../../outside.txt|clothing ../../outside.txt|"
                         "assetUrl Custom/../../../outside.txt|assetUrl /etc/hostname|"
                         "clothing @/outside.txt|morphs Custom\\..\\..\\..\\outside.txt|"
                         "assetUrl Custom/c:/outside.txt|plugin#0 Pkg/../../x:/a|"
                         "plugin#0 ../../outside:/Custom/a.cs";
    for (const QString& row : rows.split('|')) {
        QTest::newRow(qPrintable(row)) << row.section(' ', 0, 0) << row.section(' ', 1);
    }
}

void TestHVamJson::copyStaysInside()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir root;
    const QString game = root.path() + "/games/VaM";
    for (const QString& file : QString(gameFiles).simplified().split(' ')) {
        QVERIFY(TestFiles::write(game + "/" + file, file.toUtf8()));
    }
    QVERIFY(TestFiles::write(game + "/Saves/scene/a.json", copyScene));
    HVamJson json;
    QVERIFY(json.Load(game + "/Saves/scene/a.json") && json.searchPathString());
    if (!key.isEmpty()) {
        json.paths.push_back(std::make_unique<VamPath>("/atoms/storables/" + key + "/id",
                                                       value.replace("@", root.path())));
    }
    const QString destination = root.path() + "/out/dest/here";
    QVERIFY(QDir().mkpath(QFileInfo(destination).path()));
    const QStringList before = TestFiles::tree(root.path());

    QVERIFY(json.copyTo(destination, false));
    // Hair and morphs bring their companions, clothing its folder's plain files,
    // a package reference the whole package.
    QCOMPARE(TestFiles::tree(destination).filter(QRegularExpression("\\.[a-z]+$")).join(' '),
             QString(R"(AddonPackages/Author.Pkg.1.var Custom/Assets/x.assetbundle
        Custom/Atom/Person/Morphs/female/m.vmb Custom/Atom/Person/Morphs/female/m.vmi
        Custom/Clothing/Female/x/a.jpg Custom/Clothing/Female/x/a.vam Custom/Hair/Female/h/b.jpg
        Custom/Hair/Female/h/b.vaj Custom/Hair/Female/h/b.vam Saves/scene/a.jpg
        Saves/scene/a.json)")
                 .simplified());
    QCOMPARE(TestFiles::read(destination + "/AddonPackages/Author.Pkg.1.var"),
             QByteArray("AddonPackages/Author/Sub/Author.Pkg.1.var"));
    QCOMPARE(TestFiles::tree(root.path()).filter(QRegularExpression("^(?!out/dest/here(/|$))")),
             before);
}

QTEST_GUILESS_MAIN(TestHVamJson)
#include "tst_hvamjson.moc"
