#include "hvamjson.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

class TestHVamJson : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void constructedEmpty();
    void dependencies_data();
    void dependencies();
    void contentList_data();
    void contentList();
    void loadFailureKeepsState_data();
    void loadFailureKeepsState();
    void failedLoadAfterSuccess();

private:
    QString metaFile(const QByteArray& json);

    QTemporaryDir* dir = nullptr;
};

void TestHVamJson::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestHVamJson::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
}

void TestHVamJson::cleanup()
{
    delete dir;
    dir = nullptr;
}

QString TestHVamJson::metaFile(const QByteArray& json)
{
    const QString path = dir->path() + "/meta.json";
    TestFiles::write(path, json);
    return path;
}

void TestHVamJson::constructedEmpty()
{
    HVamJson json;
    QVERIFY(json.isEmpty());
    QVERIFY(json.fileName.isEmpty());
    QVERIFY(!json.fileName.isNull());
    QVERIFY(json.doc.isNull());
    QVERIFY(json.paths.empty());
    QVERIFY(json.atoms.isEmpty());
    QCOMPARE(json.parent(), nullptr);

    QStringList list{"stale"};
    QVERIFY(json.getDependencies(list));
    QCOMPARE(list, QStringList());
}

void TestHVamJson::dependencies_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none") << QByteArray(R"({"contentList": ["a/b.json"]})") << QStringList();
    QTest::newRow("by name, not file order")
        << QByteArray(R"({"dependencies": {
                "Zed.Look.2": {"licenseType": "CC BY"},
                "Alpha.Scene.latest": {"licenseType": "PC", "dependencies": {
                    "Nested.Pkg.1": {"licenseType": "FC"}}}}})")
        << QStringList({"Alpha.Scene.latest", "PC", "Zed.Look.2", "CC BY"});
    QTest::newRow("missing or odd licence")
        << QByteArray(
               R"({"dependencies": {"A.b.1": {}, "B.c.2": "FC", "C.d.3": {"licenseType": 4}}})")
        << QStringList({"A.b.1", "", "B.c.2", "", "C.d.3", ""});
    QTest::newRow("not an object") << QByteArray(R"({"dependencies": ["A.b.1"]})") << QStringList();
    QTest::newRow("top-level array")
        << QByteArray(R"([{"dependencies": {"A.b.1": {"licenseType": "PC"}}}])") << QStringList();
}

void TestHVamJson::dependencies()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, expected);
    HVamJson doc;
    const QString path = metaFile(json);
    QVERIFY(doc.Load(path));
    QVERIFY(!doc.isEmpty());
    QCOMPARE(doc.fileName, path);
    QStringList list{"stale"};
    QVERIFY(doc.getDependencies(list));
    QCOMPARE(list, expected);
}

void TestHVamJson::contentList_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("in array order")
        << QByteArray(R"({"contentList": ["Saves/scene/z.json", "Custom/a.vap"]})")
        << QStringList({"Saves/scene/z.json", "Custom/a.vap"});
    QTest::newRow("number and null") << QByteArray(R"({"contentList": ["a", 12, null, "b"]})")
                                     << QStringList({"a", "", "", "b"});
    QTest::newRow("absent") << QByteArray(R"({"dependencies": {}})") << QStringList();
    QTest::newRow("top-level array") << QByteArray(R"([{"contentList": ["a"]}])") << QStringList();
}

void TestHVamJson::contentList()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, expected);
    HVamJson doc;
    QVERIFY(doc.Load(metaFile(json)));
    QStringList list{"stale"};
    QVERIFY(doc.getContentList(list));
    QCOMPARE(list, expected);
}

void TestHVamJson::loadFailureKeepsState_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("debugLine");
    QTest::newRow("invalid JSON") << "meta.json" << QByteArray(R"({"dependencies": )")
                                  << "unterminated object";
    QTest::newRow("empty file") << "meta.json" << QByteArray() << "illegal value";
    QTest::newRow("missing file") << "none.json" << QByteArray() << "open @/none.json Error!";
    QTest::newRow("folder") << "sub" << QByteArray() << "open @/sub Error!";
}

void TestHVamJson::loadFailureKeepsState()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, debugLine);
    TestFiles::write(dir->path() + "/meta.json", content);
    QDir(dir->path()).mkdir("sub");

    HVamJson doc;
    QTest::ignoreMessage(QtDebugMsg, debugLine.replace("@", dir->path()).toUtf8().constData());
    QVERIFY(!doc.Load(dir->path() + "/" + file));
    QVERIFY(doc.isEmpty());
    QVERIFY(doc.doc.isNull());
}

void TestHVamJson::failedLoadAfterSuccess()
{
    HVamJson doc;
    const QString good = metaFile(R"({"dependencies": {"A.b.1": {"licenseType": "PC"}}})");
    QVERIFY(doc.Load(good));

    // A file that cannot be opened leaves the loaded document alone.
    QVERIFY(!doc.Load(dir->path() + "/none.json"));
    QCOMPARE(doc.fileName, good);
    QStringList list;
    doc.getDependencies(list);
    QCOMPARE(list, QStringList({"A.b.1", "PC"}));

    // A file that does not parse replaces the document, not the name.
    TestFiles::write(dir->path() + "/bad.json", "{");
    QVERIFY(!doc.Load(dir->path() + "/bad.json"));
    QVERIFY(!doc.isEmpty());
    QCOMPARE(doc.fileName, good);
    doc.getDependencies(list);
    QCOMPARE(list, QStringList());
}

QTEST_GUILESS_MAIN(TestHVamJson)
#include "tst_hvamjson.moc"
