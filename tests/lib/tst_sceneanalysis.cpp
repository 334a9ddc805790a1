#include "hvamjson.h"
#include "testfiles.h"

#include <QImage>
#include <QPainter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Member keys are read in sorted order: atoms, then meta.
const QByteArray pathScene = R"({
  "meta": {"thumb": "Saves/scene/a.jpg", "again": "Saves/scene/a.jpg"},
  "atoms": [{
    "id": "Person", "type": "Person", "parentAtom": "Room/Floor",
    "storables": [
      {"id": "geometry",
       "clothing": [{"id": "Custom/Clothing/Female/x/a.vam", "enabled": "true"}],
       "hair": [{"id": "Author.Hair.1:/Custom/Hair/b.vam"}],
       "morphs": [{"uid": "Custom/Atom/Person/Morphs/female/m.vmi", "value": 0.5}]},
      {"id": "tags", "list": ["Custom/in/array.vap", ["Custom/nested.vap"],
                              {"path": "Custom/in/object.vap"}]},
      {"id": "odd", "slashFirst": "/Custom/a.vap", "noSlash": "a.vap", "number": 5,
       "flag": true, "nothing": null}
    ]}]
})";

const QByteArray atomScene = R"({
  "version": "1.20",
  "atoms": [
    {"id": "Person", "type": "Person", "storables": [
      {"id": "PluginManager", "plugins": {
        "plugin#0": "Author.Pkg.1:/Custom/Scripts/a.cs",
        "plugin#2": "Custom/Scripts/c.cs"}},
      {"id": "control", "linkTo": "Table"},
      {"id": "text", "text": "lower case"}]},
    {"id": "Button", "type": "UIButton", "storables": [
      {"id": "Trigger", "trigger": {
        "startActions": [
          {"receiverAtom": "Person", "receiver": "geometry", "receiverTargetName": "smile"}],
        "transitionActions": [],
        "endActions": [
          {"receiverAtom": "Light"},
          {"receiverAtom": "Speaker", "receiver": "AudioSource", "receiverTargetName": "Play"}]}},
      {"id": "Text", "text": "Press"}]},
    {"id": "Table", "type": "Person", "storables": [
      {"id": "control", "linkTo": null},
      {"id": "PluginManager", "plugins": {"plugin#0": null, "plugin#1": "Custom/Scripts/x.cs"}},
      {"id": "Trigger", "trigger": {"endActions": [{"receiver": "nobody"}]}}]}
  ]
})";

using Pair = QPair<QString, QString>;

QList<Pair> recordsOf(const HVamJson& json)
{
    QList<Pair> records;
    for (const auto& path : json.paths) {
        records << Pair(path->key, path->value);
    }
    return records;
}

// "id|type|plugins|linkTo|text|phase[atom>receiver>target,...]" for each trigger phase.
QString describe(const VamAtom& atom)
{
    QStringList parts{atom.id, atom.type, atom.plugins.join(","), atom.linkTo, atom.text};
    for (const VamActionGroup* group :
         {&atom.startActions, &atom.transitionActions, &atom.endActions}) {
        QStringList actions;
        for (const VamAction& action : group->actions) {
            actions << action.receiverAtom + ">" + action.receiver + ">" +
                           action.receiverTargetName;
        }
        parts << group->name + "[" + actions.join(",") + "]";
    }
    return parts.join("|");
}

VamAtom atomOf(const QString& type, const QString& id = QString(), const QString& text = QString())
{
    VamAtom atom;
    atom.type = type;
    atom.id = id;
    atom.text = text;
    return atom;
}

QImage blankImage()
{
    QImage image(300, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

class TestSceneAnalysis : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void keyDerivation_data();
    void keyDerivation();
    void pathSearch();
    void atomAnalysis();
    void arrangeByType();
    void paint_data();
    void paint();

private:
    bool load(HVamJson& json, const QByteArray& scene);

    QTemporaryDir dir;
};

void TestSceneAnalysis::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir.isValid());
}

bool TestSceneAnalysis::load(HVamJson& json, const QByteArray& scene)
{
    const QString path = dir.path() + "/scene.json";
    return TestFiles::write(path, scene) && json.Load(path);
}

void TestSceneAnalysis::keyDerivation_data()
{
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<QString>("key");
    QTest::newRow("storable member") << "/atoms/storables/clothing/id" << QString("clothing");
    QTest::newRow("storable value") << "/atoms/storables/pluginPath" << QString("pluginPath");
    QTest::newRow("first occurrence")
        << "/x/atoms/storables/hair/atoms/storables/morphs" << QString("hair");
    QTest::newRow("outside storables") << "/atoms/parentAtom" << QString("/atoms/parentAtom");
    QTest::newRow("top level") << "/meta/thumb" << QString("/meta/thumb");
}

void TestSceneAnalysis::keyDerivation()
{
    QFETCH(QString, keyPath);
    QFETCH(QString, key);
    QCOMPARE(VamPath(keyPath, "Custom/a.vap").key, key);
}

void TestSceneAnalysis::pathSearch()
{
    HVamJson json;
    QVERIFY(load(json, pathScene));
    // Strings straight in arrays and strings without a "/" after their start are left out.
    const QList<Pair> expected = {
        {"/atoms/parentAtom", "Room/Floor"},
        {"clothing", "Custom/Clothing/Female/x/a.vam"},
        {"hair", "Author.Hair.1:/Custom/Hair/b.vam"},
        {"morphs", "Custom/Atom/Person/Morphs/female/m.vmi"},
        {"list", "Custom/in/object.vap"},
        {"/meta/again", "Saves/scene/a.jpg"},
        {"/meta/thumb", "Saves/scene/a.jpg"},
    };
    QVERIFY(json.searchPathString());
    QCOMPARE(recordsOf(json), expected);

    // The list is rebuilt, not extended.
    QVERIFY(json.searchPathString());
    QCOMPARE(recordsOf(json), expected);

    QTableWidget table(50, 3);
    json.FillTable(&table);
    QCOMPARE(table.rowCount(), 7);
    QCOMPARE(table.item(1, 0)->text(), QString("clothing"));
    QCOMPARE(table.item(1, 1)->text(), QString("Custom/Clothing/Female/x/a.vam"));
    QCOMPARE(table.item(6, 0)->text(), QString("/meta/thumb"));
}

void TestSceneAnalysis::atomAnalysis()
{
    HVamJson json;
    QVERIFY(load(json, atomScene));
    // A second analysis replaces the atoms of the first.
    QVERIFY(json.enumAtom());
    QVERIFY(json.enumAtom());
    QStringList atoms;
    for (const VamAtom& atom : json.atoms) {
        atoms << describe(atom);
    }
    // Plugins end at the first gap; "text" in lower case is no text; a null link is none.
    QCOMPARE(atoms, QStringList({"Person|Person|Author.Pkg.1:/Custom/Scripts/a.cs|Table||[]|[]|[]",
                                 "Button|UIButton|||Press|startActions[Person>geometry>smile]|"
                                 "transitionActions[]|endActions[Light>>,Speaker>AudioSource>Play]",
                                 "Table|Person||||startActions[]|transitionActions[]|"
                                 "endActions[>nobody>]"}));

    QVERIFY(load(json, R"({"version": "1.20"})"));
    QVERIFY(json.enumAtom());
    QVERIFY(json.atoms.isEmpty());
}

void TestSceneAnalysis::arrangeByType()
{
    HVamJson json;
    json.atoms = {atomOf("A"), atomOf("B"), atomOf("A"), atomOf("a"), atomOf("A")};
    json.arrangeAtom();
    QList<QRect> boxes;
    for (const VamAtom& atom : json.atoms) {
        boxes << QRect(atom.x, atom.y, atom.width, atom.height);
    }
    const QList<QRect> expected = {QRect(50, 20, 80, 20), QRect(140, 20, 80, 20),
                                   QRect(50, 50, 80, 20), QRect(230, 20, 80, 20),
                                   QRect(50, 80, 80, 20)};
    QCOMPARE(boxes, expected);

    // Laying out again starts from fresh columns.
    json.arrangeAtom();
    QCOMPARE(json.atoms.at(4).y, 80);
}

void TestSceneAnalysis::paint_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("label");
    QTest::newRow("text first") << QString("Hello") << QString("Lamp") << QString("Hello");
    QTest::newRow("then id") << QString() << QString("Lamp") << QString("Lamp");
    QTest::newRow("then type") << QString() << QString() << QString("Light");
}

void TestSceneAnalysis::paint()
{
    QFETCH(QString, text);
    QFETCH(QString, id);
    QFETCH(QString, label);
    HVamJson json;
    json.atoms = {atomOf("Light", id, text), atomOf("Sun")};
    json.arrangeAtom();
    QImage painted = blankImage();
    QPainter painter(&painted);
    json.paint(&painter);
    painter.end();

    // Boxes around the centres (50, 20) and (140, 20), labels on their lower left corners.
    QImage expected = blankImage();
    QPainter reference(&expected);
    reference.drawRect(10, 10, 80, 20);
    reference.drawText(QPoint(10, 30), label);
    reference.drawRect(100, 10, 80, 20);
    reference.drawText(QPoint(100, 30), "Sun");
    reference.end();
    QCOMPARE(painted, expected);

    // The first box's four edges and its label are really drawn.
    const auto dark = [&painted](int x, int y) { return qGray(painted.pixel(x, y)) < 128; };
    QVERIFY(dark(10, 20) && dark(90, 20) && dark(50, 10) && dark(50, 30) && !dark(5, 20));
    QVERIFY(painted.copy(11, 11, 79, 19) != blankImage().copy(11, 11, 79, 19));
}

QTEST_MAIN(TestSceneAnalysis)
#include "tst_sceneanalysis.moc"
