#include "hvamjson.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

class TestHVamJson : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void lists_data();
    void lists();
    void loadFailureKeepsState_data();
    void loadFailureKeepsState();
    void failedLoadAfterSuccess();

private:
    QString metaFile(const QByteArray& json);

    QTemporaryDir dir;
};

void TestHVamJson::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir.isValid());
}

QString TestHVamJson::metaFile(const QByteArray& json)
{
    const QString path = dir.path() + "/meta.json";
    TestFiles::write(path, json);
    return path;
}

void TestHVamJson::lists_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("dependencies");
    QTest::addColumn<QStringList>("contents");
    QTest::newRow("contents in array order")
        << QByteArray(R"({"contentList": ["Saves/scene/z.json", "Custom/a.vap"]})") << QStringList()
        << QStringList({"Saves/scene/z.json", "Custom/a.vap"});
    QTest::newRow("dependencies by name, not file order")
        << QByteArray(R"({"dependencies": {
                "Zed.Look.2": {"licenseType": "CC BY"},
                "Alpha.Scene.latest": {"licenseType": "PC", "dependencies": {
                    "Nested.Pkg.1": {"licenseType": "FC"}}}}})")
        << QStringList({"Alpha.Scene.latest", "PC", "Zed.Look.2", "CC BY"}) << QStringList();
    QTest::newRow("missing or odd licence")
        << QByteArray(
               R"({"dependencies": {"A.b.1": {}, "B.c.2": "FC", "C.d.3": {"licenseType": 4}}})")
        << QStringList({"A.b.1", "", "B.c.2", "", "C.d.3", ""}) << QStringList();
    QTest::newRow("odd types") << QByteArray(R"({"dependencies": ["A.b.1"],
                                                 "contentList": ["a", 12, null, "b"]})")
                               << QStringList() << QStringList({"a", "", "", "b"});
    QTest::newRow("top-level array")
        << QByteArray(R"([{"dependencies": {"A.b.1": {"licenseType": "PC"}},
                           "contentList": ["a"]}])")
        << QStringList() << QStringList();
}

void TestHVamJson::lists()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, dependencies);
    QFETCH(QStringList, contents);
    HVamJson doc;
    QVERIFY(doc.isEmpty());
    const QString path = metaFile(json);
    QVERIFY(doc.Load(path));
    QVERIFY(!doc.isEmpty());
    QCOMPARE(doc.fileName, path);
    QStringList list{"stale"};
    QVERIFY(doc.getDependencies(list));
    QCOMPARE(list, dependencies);
    list = QStringList{"stale"};
    QVERIFY(doc.getContentList(list));
    QCOMPARE(list, contents);
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
    TestFiles::write(dir.path() + "/meta.json", content);
    QDir(dir.path()).mkdir("sub");

    HVamJson doc;
    QTest::ignoreMessage(QtDebugMsg, debugLine.replace("@", dir.path()).toUtf8().constData());
    QVERIFY(!doc.Load(dir.path() + "/" + file));
    QVERIFY(doc.isEmpty());
    QStringList list{"stale"};
    QVERIFY(doc.getDependencies(list));
    QCOMPARE(list, QStringList());
}

void TestHVamJson::failedLoadAfterSuccess()
{
    HVamJson doc;
    const QString good = metaFile(R"({"dependencies": {"A.b.1": {"licenseType": "PC"}}})");
    QVERIFY(doc.Load(good));

    // A file that cannot be opened leaves the loaded document alone.
    QVERIFY(!doc.Load(dir.path() + "/none.json"));
    QStringList list;
    doc.getDependencies(list);
    QCOMPARE(list, QStringList({"A.b.1", "PC"}));

    // A file that does not parse replaces the document, not the name.
    TestFiles::write(dir.path() + "/bad.json", "{");
    QVERIFY(!doc.Load(dir.path() + "/bad.json"));
    QCOMPARE(doc.fileName, good);
    doc.getDependencies(list);
    QCOMPARE(list, QStringList());
}

QTEST_GUILESS_MAIN(TestHVamJson)
#include "tst_hvamjson.moc"
