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

QStringList actionsOf(const VamActionGroup& group)
{
    QStringList list;
    for (const VamAction& action : group.actions) {
        list << action.receiverAtom + "|" + action.receiver + "|" + action.receiverTargetName;
    }
    return list;
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

bool isDark(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

} // namespace

class TestSceneAnalysis : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void keyDerivation_data();
    void keyDerivation();
    void pathSearch();
    void fillTable();

    void atomAnalysis();
    void noAtoms();
    void arrangeByType();
    void paintBoxesAndLabels();
    void paintLabelChoice_data();
    void paintLabelChoice();
    void paintBeforeArrange();

private:
    bool load(HVamJson& json, const QByteArray& scene);

    QTemporaryDir* dir = nullptr;
};

void TestSceneAnalysis::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestSceneAnalysis::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
}

void TestSceneAnalysis::cleanup()
{
    delete dir;
    dir = nullptr;
}

bool TestSceneAnalysis::load(HVamJson& json, const QByteArray& scene)
{
    const QString path = dir->path() + "/scene.json";
    return TestFiles::write(path, scene) && json.Load(path);
}

void TestSceneAnalysis::keyDerivation_data()
{
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<QString>("key");
    QTest::newRow("storable member") << "/atoms/storables/clothing/id"
                                     << "clothing";
    QTest::newRow("storable value") << "/atoms/storables/pluginPath"
                                    << "pluginPath";
    QTest::newRow("first occurrence") << "/x/atoms/storables/hair/atoms/storables/morphs"
                                      << "hair";
    QTest::newRow("outside storables") << "/atoms/parentAtom"
                                       << "/atoms/parentAtom";
    QTest::newRow("top level") << "/meta/thumb"
                               << "/meta/thumb";
}

void TestSceneAnalysis::keyDerivation()
{
    QFETCH(QString, keyPath);
    QFETCH(QString, key);
    const VamPath path(keyPath, "Custom/a.vap");
    QCOMPARE(path.key, key);
    QCOMPARE(path.value, QString("Custom/a.vap"));
    QCOMPARE(path.parent(), nullptr);
}

void TestSceneAnalysis::pathSearch()
{
    HVamJson json;
    QVERIFY(load(json, pathScene));
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
}

void TestSceneAnalysis::fillTable()
{
    HVamJson json;
    QVERIFY(load(json, pathScene));
    json.searchPathString();
    QTableWidget table(50, 3);
    table.setHorizontalHeaderLabels({"Key", "Value", "Note"});
    json.FillTable(&table);
    QCOMPARE(table.rowCount(), 7);
    QCOMPARE(table.columnCount(), 3);
    QCOMPARE(table.horizontalHeaderItem(2)->text(), QString("Note"));
    QCOMPARE(table.item(1, 0)->text(), QString("clothing"));
    QCOMPARE(table.item(1, 1)->text(), QString("Custom/Clothing/Female/x/a.vam"));
    QCOMPARE(table.item(6, 0)->text(), QString("/meta/thumb"));
}

void TestSceneAnalysis::atomAnalysis()
{
    HVamJson json;
    QVERIFY(load(json, atomScene));
    QVERIFY(json.enumAtom());
    QVERIFY(json.enumAtom());
    QCOMPARE(json.atoms.size(), 3);

    const VamAtom& person = json.atoms.at(0);
    QCOMPARE(person.id, QString("Person"));
    QCOMPARE(person.type, QString("Person"));
    QCOMPARE(person.plugins, QStringList({"Author.Pkg.1:/Custom/Scripts/a.cs"}));
    QCOMPARE(person.linkTo, QString("Table"));
    QCOMPARE(person.text, QString());
    QCOMPARE(person.startActions.name, QString());
    QCOMPARE(QList<int>({person.x, person.y, person.width, person.height}),
             QList<int>({0, 0, 0, 0}));

    const VamAtom& button = json.atoms.at(1);
    QCOMPARE(button.type, QString("UIButton"));
    QCOMPARE(button.text, QString("Press"));
    QCOMPARE(button.startActions.name, QString("startActions"));
    QCOMPARE(button.transitionActions.name, QString("transitionActions"));
    QCOMPARE(button.endActions.name, QString("endActions"));
    QCOMPARE(actionsOf(button.startActions), QStringList({"Person|geometry|smile"}));
    QCOMPARE(actionsOf(button.transitionActions), QStringList());
    QCOMPARE(actionsOf(button.endActions), QStringList({"Light||", "Speaker|AudioSource|Play"}));

    const VamAtom& table = json.atoms.at(2);
    QCOMPARE(table.linkTo, QString());
    QCOMPARE(table.plugins, QStringList());
    QCOMPARE(table.startActions.name, QString("startActions"));
    QCOMPARE(actionsOf(table.endActions), QStringList({"|nobody|"}));
}

void TestSceneAnalysis::noAtoms()
{
    HVamJson json;
    QVERIFY(load(json, atomScene));
    json.enumAtom();
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

void TestSceneAnalysis::paintBoxesAndLabels()
{
    HVamJson json;
    json.atoms = {atomOf("A", "Lamp"), atomOf("B")};
    json.arrangeAtom();
    QImage image = blankImage();
    QPainter painter(&image);
    json.paint(&painter);
    painter.end();

    // The first box spans (10,10)-(90,30): its four edges are drawn.
    QVERIFY(isDark(image, 10, 20));
    QVERIFY(isDark(image, 90, 20));
    QVERIFY(isDark(image, 50, 10));
    QVERIFY(isDark(image, 50, 30));
    QVERIFY(!isDark(image, 5, 20));
    QVERIFY(!isDark(image, 95, 20));
    QVERIFY(!isDark(image, 50, 45));
    // The second box lies one column to the right.
    QVERIFY(isDark(image, 100, 20));

    // The label stands on the box's lower edge, starting at its left edge.
    int labelPixels = 0;
    for (int x = 11; x < 50; ++x) {
        for (int y = 12; y < 30; ++y) {
            labelPixels += isDark(image, x, y) ? 1 : 0;
        }
    }
    QVERIFY(labelPixels > 10);
}

void TestSceneAnalysis::paintLabelChoice_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("label");
    QTest::newRow("text first") << "Hello"
                                << "Lamp"
                                << "Hello";
    QTest::newRow("then id") << QString() << "Lamp"
                             << "Lamp";
    QTest::newRow("then type") << QString() << QString() << "Light";
}

void TestSceneAnalysis::paintLabelChoice()
{
    QFETCH(QString, text);
    QFETCH(QString, id);
    QFETCH(QString, label);
    HVamJson json;
    json.atoms = {atomOf("Light", id, text)};
    json.arrangeAtom();
    QImage painted = blankImage();
    QPainter painter(&painted);
    json.paint(&painter);
    painter.end();

    QImage expected = blankImage();
    QPainter reference(&expected);
    reference.drawRect(10, 10, 80, 20);
    reference.drawText(QPoint(10, 30), label);
    reference.end();
    QCOMPARE(painted, expected);
}

void TestSceneAnalysis::paintBeforeArrange()
{
    HVamJson json;
    json.atoms = {atomOf("A", "Lamb"), atomOf("B")};
    QImage image = blankImage();
    QPainter painter(&image);
    json.paint(&painter);
    painter.end();
    // Empty boxes at the origin, labels (without descenders) above the picture.
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (x > 1 || y > 1) {
                QVERIFY2(!isDark(image, x, y), qPrintable(QString("%1,%2").arg(x).arg(y)));
            }
        }
    }
}

QTEST_MAIN(TestSceneAnalysis)
#include "tst_sceneanalysis.moc"
