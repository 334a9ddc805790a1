#include "libraryindex.h"
#include "rawzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestLibraryIndex : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void reports_data();
    void reports();
    void badInput_data();
    void badInput();
    void refreshUpdateStop();

private:
    QTemporaryDir temp;
    QString lib;
};

namespace {

struct Run
{
    int exit = -1;
    QByteArray out;
    QByteArray err;
};

Run quillmark(const QStringList& arguments, const QString& cache)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILLMARK_BINARY), arguments);
    // A run that hangs or crashes has no exit status; the process is killed on return.
    const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
}

// A meta.json whose dependency `name` holds itself `depth` levels deep.
QByteArray nested(const QByteArray& name, int depth = 1)
{
    QByteArray json = "{}";
    while (depth-- > 0) {
        json = "{\"dependencies\":{\"" + name + "\":" + json + "}}";
    }
    return json;
}

// Names, sizes and times of everything below `folder`: any write shows.
QStringList snapshot(const QString& folder)
{
    QStringList entries;
    for (const QString& name : TestFiles::tree(folder)) {
        const QFileInfo info(folder + QLatin1Char('/') + name);
        entries << QStringLiteral("%1 %2 %3").arg(name).arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
    }
    return entries;
}

} // namespace

void TestLibraryIndex::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(temp.isValid());
    if (TestArchive::sevenZip().isEmpty()) {
        QSKIP("7-Zip is not installed");
    }
    lib = temp.filePath(QStringLiteral("lib"));
    const QByteArray plain = TestArchive::metaJson();
    QVERIFY(TestArchive::create(lib + "/A.B.1.var", {{"meta.json", "{\"dependencies\":{\"C.D.2\":{},\"E.F.latest\":"
                                                                   + nested("G.H.1") + "}}"}}));
    QVERIFY(TestArchive::create(lib + "/C.D.1.var", {{"meta.json", plain}}));
    QVERIFY(TestArchive::create(lib + "/sub/C.D.3.var", {{"meta.json", nested("A.B.1")}}));
    QVERIFY(QFile::copy(lib + "/A.B.1.var", lib + "/sub/A.B.1.var"));
    QVERIFY(TestFiles::write(lib + "/Bad.var", "text"));
}

void TestLibraryIndex::reports_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("expected"); // JSON with "@" for the folder, or text that stdout holds
    QTest::newRow("missing") << QStringList{"--report", "missing", "@", "--json"} << 0
                             << R"([{"dependency":"C.D.2","state":"other-version","present":["C.D.1","C.D.3"],"neededBy":["A.B.1"]},
                                    {"dependency":"E.F.latest","state":"missing","present":[],"neededBy":["A.B.1"]},
                                    {"dependency":"G.H.1","state":"missing","present":[],"neededBy":["A.B.1"]}])";
    QTest::newRow("missing as text") << QStringList{"--report", "missing", "@"} << 0
                                     << "G.H.1\n    needed by A.B.1 via E.F.latest\n";
    QTest::newRow("used-by") << QStringList{"--json", "--report=used-by=A.B.1", "@"} << 0
                             << R"([{"package":"C.D.3","path":"@/sub/C.D.3.var"}])";
    QTest::newRow("used-by nobody") << QStringList{"--report", "used-by=X.Y.1", "@", "--json"} << 0 << "[]";
    QTest::newRow("old") << QStringList{"--report", "old", "@", "--json"} << 0
                         << R"([{"package":"C.D.1","path":"@/C.D.1.var","newest":"C.D.3","referencedBy":[]}])";
    QTest::newRow("broken") << QStringList{"--report", "broken", "@", "--json"} << 0
                            << R"([{"path":"@/Bad.var","problem":"not a zip archive, or one cut short"}])";
    QTest::newRow("duplicates") << QStringList{"--report", "duplicates", "@", "--json"} << 0
                                << R"([{"file":"A.B.1.var","paths":["@/A.B.1.var","@/sub/A.B.1.var"]}])";
    QTest::newRow("unknown report") << QStringList{"--report", "everything", "@"} << 2 << "";
    QTest::newRow("used-by nothing") << QStringList{"--report", "used-by=", "@"} << 2 << "";
    QTest::newRow("no folder") << QStringList{"--report", "old", "@/nothing"} << 2 << "";
    QTest::newRow("a file") << QStringList{"--report", "old", "@/Bad.var"} << 2 << "";
    QTest::newRow("folder left out") << QStringList{"--report", "old"} << 2 << "";
}

void TestLibraryIndex::reports()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exit);
    QFETCH(QString, expected);
    const QStringList before = snapshot(lib);
    const Run run = quillmark(arguments.replaceInStrings(QStringLiteral("@"), lib), temp.filePath("cache"));
    QCOMPARE(run.exit, exit);
    expected.replace(QLatin1Char('@'), lib);
    if (exit != 0) {
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.count('\n'), 1);
    } else if (expected.startsWith(QLatin1Char('['))) {
        QCOMPARE(QJsonDocument::fromJson(run.out), QJsonDocument::fromJson(expected.toUtf8()));
    } else {
        QVERIFY2(run.out.contains(expected.toUtf8()), run.out.constData());
    }
    QCOMPARE(snapshot(lib), before);
}

void TestLibraryIndex::badInput_data()
{
    QTest::addColumn<QByteArray>("meta");   // meta.json
    QTest::addColumn<QString>("maker");     // "7z", "7z -p" (encrypted), "raw", "raw twice", "text" (no zip)
    QTest::addColumn<QString>("damage");    // done to the package or the database afterwards
    QTest::addColumn<QString>("problem");   // empty when the package is to be read
    const QByteArray plain = TestArchive::metaJson({{"A.B.1", "FC"}});
    const QByteArray spaces = "{}" + QByteArray(5 << 20, ' ');
    QTest::newRow("zip bomb") << spaces << "7z" << "" << "larger than";
    QTest::newRow("sizes that lie") << spaces << "7z" << "lie" << "stated size";
    QTest::newRow("50 MB meta.json") << "{}" + QByteArray(50 << 20, ' ') << "raw" << "" << "larger than";
    QTest::newRow("10,000 levels") << nested("A.B.1", 10000) << "raw" << "" << "not valid JSON";
    QTest::newRow("invalid UTF-8") << QByteArray("{\"licenseType\":\"\xff\xfe\"}") << "raw" << "" << "not valid JSON";
    QTest::newRow("array") << QByteArray("[{}]") << "raw" << "" << "not a JSON object";
    QTest::newRow("odd keys") << QByteArray(R"({"dependencies":{"":{},"/":{},"..":{},"a\u0000b":{}}})") << "raw" << ""
                              << "";
    QTest::newRow("truncated") << plain << "7z" << "cut" << "not a zip";
    QTest::newRow("not a zip") << QByteArray("PK\3\4 no archive") << "text" << "" << "not a zip";
    QTest::newRow("encrypted") << plain << "7z -p" << "" << "encrypted";
    QTest::newRow("two meta.json") << plain << "raw twice" << "" << "twice";
    QTest::newRow("link cycle") << plain << "7z" << "cycle" << "";
    QTest::newRow("database is text") << plain << "7z" << "db text" << "";
    QTest::newRow("database read-only") << plain << "7z" << "db readonly" << "";
    QTest::newRow("database half written") << plain << "7z" << "db half" << "";
}

void TestLibraryIndex::badInput()
{
    QFETCH(QByteArray, meta);
    QFETCH(QString, maker);
    QFETCH(QString, damage);
    QFETCH(QString, problem);
    const QString root = temp.filePath(QStringLiteral("bad/") + QTest::currentDataTag());
    const QString folder = root + QStringLiteral("/lib");
    const QString package = folder + QStringLiteral("/P.Q.1.var");
    const QString database = root + QStringLiteral("/cache/Morrowquay/Quillmark/library.sqlite");
    QVERIFY(QDir().mkpath(folder));
    if (maker == "text") {
        QVERIFY(TestFiles::write(package, meta));
    } else if (maker.startsWith("raw")) {
        QVERIFY(RawZip::write(package, QVector<RawZip::Member>(maker == "raw" ? 1 : 2, {"meta.json", meta}).toList()));
    } else {
        QVERIFY(TestArchive::create(package, {{"meta.json", meta}}, {"-tzip", maker == "7z" ? "-mx=5" : "-pSECRET"}));
    }
    QByteArray bytes = TestFiles::read(package);
    if (damage == "cut") {
        QVERIFY(TestFiles::write(package, bytes.left(bytes.size() / 2)));
    } else if (damage == "lie") {
        // The unpacked size in the local header (offset 22) and in the central one (24).
        bytes.replace(bytes.indexOf("PK\3\4") + 22, 4, QByteArray("\2\0\0\0", 4));
        bytes.replace(bytes.indexOf("PK\1\2") + 24, 4, QByteArray("\2\0\0\0", 4));
        QVERIFY(TestFiles::write(package, bytes));
    } else if (damage == "cycle") {
        QVERIFY(QDir().mkpath(folder + "/sub") && QFile::link(folder, folder + "/sub/loop"));
    } else if (damage == "db text") {
        QVERIFY(TestFiles::write(database, "not a database"));
    } else if (damage.startsWith("db")) {
        QCOMPARE(quillmark({"--report", "broken", folder}, root + "/cache").exit, 0);
        QVERIFY(damage == "db half" ? QFile::resize(database, QFileInfo(database).size() / 2)
                                    : QFile::setPermissions(database, QFile::ReadOwner));
    }
    const QStringList before = snapshot(folder);
    for (const QString& report : {QStringLiteral("broken"), QStringLiteral("duplicates"), QStringLiteral("broken")}) {
        const Run run = quillmark({"--report", report, folder, "--json"}, root + "/cache");
        QCOMPARE(run.exit, 0);
        const QJsonArray entries = QJsonDocument::fromJson(run.out).array();
        const bool expectBroken = report == QLatin1String("broken") && !problem.isEmpty();
        QCOMPARE(entries.size(), expectBroken ? 1 : 0);
        if (expectBroken) {
            const QString said = entries[0].toObject().value("problem").toString();
            QVERIFY2(said.contains(problem), qPrintable(said));
        }
    }
    QCOMPARE(snapshot(folder), before);
}

void TestLibraryIndex::refreshUpdateStop()
{
    LibraryIndex index(nullptr, temp.filePath("index.sqlite"));
    QSignalSpy ready(&index, &LibraryIndex::ready);
    index.refresh(lib);
    index.stop();
    QVERIFY(!index.isRunning() && !index.isReady());
    index.refresh(lib + "/sub/..");
    QVERIFY(ready.wait(60000));
    QCOMPARE(index.folder(), lib);
    QCOMPARE(index.catalog()->packages().size(), 5);
    // A move and a delete: the moved package is read at its new place, the other forgotten.
    QVERIFY(QFile::rename(lib + "/C.D.1.var", lib + "/sub/C.D.1.var") && QFile::remove(lib + "/sub/A.B.1.var"));
    index.update({lib + "/C.D.1.var", lib + "/sub/C.D.1.var", lib + "/sub/A.B.1.var"});
    QVERIFY(index.isReady() && ready.wait(60000));
    QStringList paths;
    for (const IndexedPackage& package : index.catalog()->packages()) {
        paths << package.path.mid(lib.size());
    }
    QCOMPARE(paths, QStringList({"/A.B.1.var", "/Bad.var", "/sub/C.D.1.var", "/sub/C.D.3.var"}));
    QCOMPARE(ready.size(), 2);
}

QTEST_GUILESS_MAIN(TestLibraryIndex)
#include "tst_libraryindex.moc"
