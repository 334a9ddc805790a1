#include "packagereader.h"
#include "rawzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestReportCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void reports_data();
    void reports();
    void badInput_data();
    void badInput();
    void vanishedPackage();

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
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

QByteArray nested(const QStringList& chain)
{
    QByteArray json = "{}";
    for (int i = chain.size() - 1; i >= 0; --i) {
        json = "{\"dependencies\":{\"" + chain[i].toUtf8() + "\":" + json + "}}";
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

void TestReportCommand::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(temp.isValid());
    if (TestArchive::sevenZip().isEmpty()) {
        QSKIP("7-Zip is not installed");
    }
    lib = temp.filePath(QStringLiteral("lib"));
    const QByteArray plain = TestArchive::metaJson();
    QVERIFY(TestArchive::create(lib + "/A.B.1.var", {{"meta.json", "{\"dependencies\":{\"C.D.2\":{},\"E.F.latest\":"
                                                                   + nested({"G.H.1"}) + "}}"}}));
    QVERIFY(TestArchive::create(lib + "/C.D.1.var", {{"meta.json", plain}}));
    QVERIFY(TestArchive::create(lib + "/sub/C.D.3.var", {{"meta.json", nested({"A.B.1"})}}));
    QVERIFY(QFile::copy(lib + "/A.B.1.var", lib + "/sub/A.B.1.var"));
    QVERIFY(TestFiles::write(lib + "/Bad.var", "text"));
}

void TestReportCommand::reports_data()
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

void TestReportCommand::reports()
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

void TestReportCommand::badInput_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("problem"); // empty when the package is to be read
    QTest::newRow("zip bomb") << "bomb" << "larger than";
    QTest::newRow("sizes that lie") << "lying" << "stated size";
    QTest::newRow("50 MB meta.json") << "huge" << "larger than";
    QTest::newRow("10,000 levels") << "deep" << "not valid JSON";
    QTest::newRow("invalid UTF-8") << "utf8" << "not valid JSON";
    QTest::newRow("array") << "array" << "not a JSON object";
    QTest::newRow("odd keys") << "keys" << "";
    QTest::newRow("truncated") << "truncated" << "not a zip";
    QTest::newRow("not a zip") << "text" << "not a zip";
    QTest::newRow("encrypted") << "encrypted" << "encrypted";
    QTest::newRow("two meta.json") << "twice" << "twice";
    QTest::newRow("link cycle") << "cycle" << "";
    QTest::newRow("database is text") << "db text" << "";
    QTest::newRow("database read-only") << "db readonly" << "";
    QTest::newRow("database half written") << "db half" << "";
}

void TestReportCommand::badInput()
{
    QFETCH(QString, kind);
    QFETCH(QString, problem);
    const QString root = temp.filePath(QStringLiteral("bad/") + QTest::currentDataTag());
    const QString folder = root + QStringLiteral("/lib");
    const QString package = folder + QStringLiteral("/P.Q.1.var");
    const QString database = root + QStringLiteral("/cache/Morrowquay/Quillmark/library.sqlite");
    const QByteArray spaces(5 << 20, ' ');
    QVERIFY(QDir().mkpath(folder));
    if (kind == "bomb" || kind == "lying") {
        QVERIFY(TestArchive::create(package, {{"meta.json", "{}" + spaces}}));
    } else if (kind == "huge") {
        QVERIFY(RawZip::write(package, {{"meta.json", "{}" + QByteArray(50 << 20, ' ')}}));
    } else if (kind == "deep") {
        QVERIFY(RawZip::write(package, {{"meta.json", nested(QVector<QString>(10000, "A.B.1").toList())}}));
    } else if (kind == "utf8" || kind == "array" || kind == "keys" || kind == "twice") {
        const QByteArray meta = kind == "utf8"    ? QByteArray("{\"licenseType\":\"\xff\xfe\"}")
                                : kind == "array" ? QByteArray("[{}]")
                                                  : QByteArray(R"({"dependencies":{"":{},"/":{},"..":{},"a\u0000b":{}}})");
        QList<RawZip::Member> members{{"meta.json", meta}};
        QVERIFY(RawZip::write(package, kind == "twice" ? members + members : members));
    } else if (kind == "text") {
        QVERIFY(TestFiles::write(package, "PK\3\4 no archive"));
    } else if (kind == "encrypted") {
        QVERIFY(TestArchive::create(package, {{"meta.json", "{}"}}, {"-tzip", "-pSECRET"}));
    } else {
        QVERIFY(TestArchive::create(package, {{"meta.json", TestArchive::metaJson()}}));
    }
    QFile file(package);
    if (kind == "lying" || kind == "truncated") {
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        if (kind == "truncated") {
            bytes.truncate(bytes.size() / 2);
        }
        // The unpacked size of the local header (offset 22) and the central one (24).
        for (const auto& [signature, offset] : {std::make_pair("PK\3\4", 22), std::make_pair("PK\1\2", 24)}) {
            const int at = bytes.indexOf(signature);
            if (kind == "lying" && at >= 0) {
                bytes.replace(at + offset, 4, QByteArray("\x02\0\0\0", 4));
            }
        }
        QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
        file.close();
    }
    if (kind == "cycle") {
        QVERIFY(QDir().mkpath(folder + "/sub") && QFile::link(folder, folder + "/sub/loop"));
    }
    if (kind.startsWith(QLatin1String("db"))) {
        QVERIFY(TestFiles::write(database, "not a database"));
        if (kind != "db text") {
            QVERIFY(QFile::remove(database));
            QCOMPARE(quillmark({"--report", "broken", folder}, root + "/cache").exit, 0);
        }
        if (kind == "db half") {
            QVERIFY(QFile::resize(database, QFileInfo(database).size() / 2));
        } else if (kind == "db readonly") {
            QVERIFY(QFile::setPermissions(database, QFile::ReadOwner));
        }
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

void TestReportCommand::vanishedPackage()
{
    // Removed after the folder was listed: read as a broken file.
    const IndexedPackage package = PackageReader::read(temp.filePath("Gone.Package.1.var"), 10, 10);
    QVERIFY(!package.problem.isEmpty());
    QCOMPARE(package.version, 1);
}

QTEST_GUILESS_MAIN(TestReportCommand)
#include "tst_reportcommand.moc"
