#include "hvamjson.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray atomScene = R"({"atoms": [
    {"id": "Person", "type": "Person", "storables": [
      {"id": "PluginManager", "plugins": {
        "plugin#0": "Author.Pkg.1:/Custom/Scripts/a.cs", "plugin#2": "Custom/Scripts/c.cs"}},
      {"id": "control", "linkTo": "Table"},
      {"id": "text", "text": "lower case"}]},
    {"id": "Button", "type": "UIButton", "storables": [
      {"id": "Trigger", "trigger": {
        "startActions": [
          {"receiverAtom": "Person", "receiver": "geometry", "receiverTargetName": "smile"}],
        "endActions": [{"receiverAtom": "Light"}]}},
      {"id": "Text", "text": "Press"}]},
    {"id": "Table", "type": "Person", "storables": [
      {"id": "control", "linkTo": null},
      {"id": "PluginManager", "plugins": {"plugin#0": null, "plugin#1": "Custom/Scripts/x.cs"}}]}
]})";

// The game tree of the copy: each file holds its own path.
const QStringList gameFiles =
    QStringLiteral(
        "VaM.exe Saves/scene/a.jpg Custom/Clothing/Female/x/a.vam Custom/Clothing/Female/x/a.jpg "
        "Custom/Clothing/Female/x/sub/inner.txt Custom/Hair/Female/h/b.vam "
        "Custom/Hair/Female/h/b.vaj "
        "Custom/Hair/Female/h/b.jpg Custom/Atom/Person/Morphs/female/m.vmi "
        "Custom/Atom/Person/Morphs/female/m.vmb Custom/Assets/x.assetbundle "
        "AddonPackages/Author/Sub/Author.Pkg.1.var AddonPackages/Unused.Pack.1.var")
        .split(' ');

const QByteArray copyScene = R"({"atoms": [{"id": "Person", "type": "Person", "storables": [
  {"id": "geometry",
   "clothing": [{"id": "Custom/Clothing/Female/x/a.vam"}],
   "hair": [{"id": "Custom/Hair/Female/h/b.vam"}],
   "morphs": [{"uid": "Custom/Atom/Person/Morphs/female/m.vmi"}]},
  {"id": "PluginManager", "plugins": {
   "plugin#0": "Author.Pkg.1:/Custom/Scripts/a.cs", "plugin#1": "Missing.Pkg.1:/Custom/m.cs"}},
  {"id": "asset", "assetUrl": "Custom/Assets/x.assetbundle"}
]}]})";

QString describe(const VamAtom& atom)
{
    QStringList parts{atom.id, atom.type, atom.plugins.join(","), atom.linkTo, atom.text};
    for (const VamActionGroup* group : {&atom.startActions, &atom.endActions}) {
        for (const VamAction& action : group->actions) {
            parts << group->name + ":" + action.receiverAtom + ">" + action.receiver + ">" +
                         action.receiverTargetName;
        }
    }
    return parts.join("|");
}

} // namespace

class TestHVamJson : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void packageLists_data();
    void packageLists();
    void atomAnalysis();
    void copyStaysInside_data();
    void copyStaysInside();

private:
    QString write(const QString& name, const QByteArray& json)
    {
        return TestFiles::write(dir.filePath(name), json) ? dir.filePath(name) : QString();
    }
    QTemporaryDir dir;
};

void TestHVamJson::packageLists_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("dependencies");
    QTest::addColumn<QStringList>("contents");
    QTest::newRow("dependencies by name, not file order")
        << QByteArray(R"({"dependencies": {
                "Zed.Look.2": {"licenseType": "CC BY"},
                "Alpha.Scene.latest": {"licenseType": "PC", "dependencies": {
                    "Nested.Pkg.1": {"licenseType": "FC"}}}},
              "contentList": ["Saves/scene/z.json", "Custom/a.vap"]})")
        << QStringList({"Alpha.Scene.latest", "PC", "Zed.Look.2", "CC BY"})
        << QStringList({"Saves/scene/z.json", "Custom/a.vap"});
    QTest::newRow("odd types")
        << QByteArray(R"({"dependencies": {"A.b.1": {}, "B.c.2": "FC", "C.d.3": {"licenseType": 4}},
                          "contentList": ["a", 12, null]})")
        << QStringList({"A.b.1", "", "B.c.2", "", "C.d.3", ""}) << QStringList({"a", "", ""});
    QTest::newRow("top-level array")
        << QByteArray(R"([{"dependencies": {"A.b.1": {"licenseType": "PC"}}}])") << QStringList()
        << QStringList();
    QTest::newRow("not JSON") << QByteArray(R"({"dependencies": )") << QStringList()
                              << QStringList();
}

void TestHVamJson::packageLists()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, dependencies);
    QFETCH(QStringList, contents);
    HVamJson doc;
    QCOMPARE(doc.Load(write("meta.json", json)),
             !QByteArray(QTest::currentDataTag()).startsWith("not"));
    QStringList list{"stale"};
    QVERIFY(doc.getDependencies(list));
    QCOMPARE(list, dependencies);
    QVERIFY(doc.getContentList(list));
    QCOMPARE(list, contents);
}

void TestHVamJson::atomAnalysis()
{
    HVamJson json;
    QVERIFY(json.Load(write("atoms.json", atomScene)));
    // A second analysis replaces the atoms of the first.
    QVERIFY(json.enumAtom());
    QVERIFY(json.enumAtom());
    QStringList atoms;
    for (const VamAtom& atom : json.atoms) {
        atoms << describe(atom);
    }
    // Plugins end at the first gap; "text" in lower case is no text; a null link is none.
    QCOMPARE(atoms, QStringList({"Person|Person|Author.Pkg.1:/Custom/Scripts/a.cs|Table|",
                                 "Button|UIButton|||Press|startActions:Person>geometry>smile|"
                                 "endActions:Light>>",
                                 "Table|Person|||"}));
}

void TestHVamJson::copyStaysInside_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("only what the scene names") << QString() << QString();
    const char* const rows[][2] = {
        {"hair", "../../outside.txt"},
        {"clothing", "../../outside.txt"},
        {"assetUrl", "Custom/../../../outside.txt"},
        {"assetUrl", "/etc/hostname"},
        {"clothing", "@/outside.txt"},
        {"morphs", "Custom\\..\\..\\..\\outside.txt"},
        {"assetUrl", "Custom/c:/outside.txt"},
        {"plugin#0", "Pkg/../../x:/a"},
        {"plugin#0", "../../outside:/Custom/a.cs"},
    };
    for (const auto& row : rows) {
        QTest::newRow(qPrintable(QString("%1 %2").arg(row[0], row[1]))) << row[0] << row[1];
    }
}

void TestHVamJson::copyStaysInside()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir root;
    const QString game = root.path() + "/games/VaM";
    for (const QString& file : gameFiles) {
        QVERIFY(TestFiles::write(game + "/" + file, file.toUtf8()));
    }
    QVERIFY(TestFiles::write(game + "/Saves/scene/a.json", copyScene));
    // What values leading out of the game would reach.
    QVERIFY(TestFiles::write(root.path() + "/outside.txt", "outside"));
    QVERIFY(TestFiles::write(root.path() + "/games/outside.var", "outside"));
    HVamJson json;
    QVERIFY(json.Load(game + "/Saves/scene/a.json"));
    QVERIFY(json.searchPathString());
    if (!key.isEmpty()) {
        json.paths.push_back(std::make_unique<VamPath>("/atoms/storables/" + key + "/id",
                                                       value.replace("@", root.path())));
    }
    const QString destination = root.path() + "/out/dest/here";
    QVERIFY(QDir().mkpath(root.path() + "/out/dest"));
    const QStringList before = TestFiles::tree(root.path());

    QVERIFY(json.copyTo(destination, false));
    // Hair and morphs bring their companions, clothing its folder's plain files,
    // a package reference the whole package.
    const QStringList copied =
        TestFiles::tree(destination).filter(QRegularExpression("\\.[a-z]+$"));
    QCOMPARE(
        copied.join(' '),
        QString("AddonPackages/Author.Pkg.1.var Custom/Assets/x.assetbundle "
                "Custom/Atom/Person/Morphs/female/m.vmb Custom/Atom/Person/Morphs/female/m.vmi "
                "Custom/Clothing/Female/x/a.jpg Custom/Clothing/Female/x/a.vam "
                "Custom/Hair/Female/h/b.jpg Custom/Hair/Female/h/b.vaj "
                "Custom/Hair/Female/h/b.vam Saves/scene/a.jpg Saves/scene/a.json"));
    QCOMPARE(TestFiles::read(destination + "/AddonPackages/Author.Pkg.1.var"),
             QByteArray("AddonPackages/Author/Sub/Author.Pkg.1.var"));
    QCOMPARE(TestFiles::tree(root.path()).filter(QRegularExpression("^(?!out/dest/here(/|$))")),
             before);
}

QTEST_GUILESS_MAIN(TestHVamJson)
#include "tst_hvamjson.moc"
