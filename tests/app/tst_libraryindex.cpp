#include "libraryindex.h"
#include "rawzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QtTest>

struct Run { int exit; QByteArray out, err; };

static Run quillmark(const QStringList& arguments, const QString& cache)
{
    const auto cacheHome = TestFiles::scopedEnvironment("XDG_CACHE_HOME", cache);
    QProcess process;
    process.start(QStringLiteral(QUILLMARK_BINARY), arguments);
    // A run that hangs or crashes has no exit status; the process is killed on return.
    const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
}

// A meta.json whose dependency `name` holds itself `depth` levels deep.
static QByteArray nested(const QByteArray& name, int depth = 1)
{
    QByteArray json = "{}";
    while (depth-- > 0) {
        json = "{\"dependencies\":{\"" + name + "\":" + json + "}}";
    }
    return json;
}

// Names and times of everything below `folder`: any write shows.
static QStringList snapshot(const QString& folder)
{
    QStringList entries = TestFiles::tree(folder);
    for (QString& name : entries) {
        name += QLatin1Char(' ') + QString::number(QFileInfo(folder + QLatin1Char('/') + name).lastModified().toMSecsSinceEpoch());
    }
    return entries;
}

class TestLibraryIndex : public QObject
{
    Q_OBJECT
    QTemporaryDir temp;
    const QString lib = temp.filePath(QStringLiteral("lib"));

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        if (TestArchive::sevenZip().isEmpty()) {
            QSKIP("7-Zip is not installed");
        }
        const QByteArray meta = "{\"dependencies\":{\"C.D.2\":{},\"E.F.latest\":" + nested("G.H.1") + "}}";
        QVERIFY(TestArchive::create(lib + "/A.B.1.var", {{"meta.json", meta}}));
        QVERIFY(TestArchive::create(lib + "/C.D.1.var", {{"meta.json", TestArchive::metaJson()}}));
        QVERIFY(TestArchive::create(lib + "/sub/C.D.3.var", {{"meta.json", nested("A.B.1")}}));
        // A link back up is followed once at most, or nothing would end.
        QVERIFY(QFile::copy(lib + "/A.B.1.var", lib + "/sub/A.B.1.var") && TestFiles::write(lib + "/Bad.var", "text")
                && QFile::link(lib, lib + "/sub/loop"));
    }

    void reports_data()
    {
        QTest::addColumn<QStringList>("arguments");
        // JSON with "@" for the folder, text that stdout holds, or nothing for a refused run
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << QStringList{"--report", "missing", "@", "--json"} << R"([{"dependency":"C.D.2","state":"other-version","present":["C.D.1","C.D.3"],"neededBy":["A.B.1"]},
            {"dependency":"E.F.latest","state":"missing","present":[],"neededBy":["A.B.1"]},{"dependency":"G.H.1","state":"missing","present":[],"neededBy":["A.B.1"]}])";
        QTest::newRow("missing as text") << QStringList{"--report", "missing", "@"} << "G.H.1\n    needed by A.B.1 via E.F.latest\n";
        QTest::newRow("used-by") << QStringList{"--json", "--report=used-by=A.B.1", "@"} << R"([{"package":"C.D.3","path":"@/sub/C.D.3.var"}])";
        QTest::newRow("old") << QStringList{"--report", "old", "@", "--json"} << R"([{"package":"C.D.1","path":"@/C.D.1.var","newest":"C.D.3","referencedBy":[]}])";
        QTest::newRow("broken") << QStringList{"--report", "broken", "@", "--json"} << R"([{"path":"@/Bad.var","problem":"not a zip archive, or one cut short"}])";
        QTest::newRow("duplicates") << QStringList{"--report", "duplicates", "@", "--json"} << R"([{"file":"A.B.1.var","paths":["@/A.B.1.var","@/sub/A.B.1.var"]}])";
        QTest::newRow("space as text") << QStringList{"--report", "space", "@"} << "Broken files: 1 file, 4 bytes\n";
        QTest::newRow("unknown report") << QStringList{"--report", "everything", "@"} << "";
        QTest::newRow("used-by nothing") << QStringList{"--report", "used-by=", "@"} << "";
        QTest::newRow("a file") << QStringList{"--report", "old", "@/Bad.var"} << "";
        QTest::newRow("folder left out") << QStringList{"--report", "old"} << "";
    }
    void reports()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const Run run = quillmark(arguments.replaceInStrings(QStringLiteral("@"), lib), temp.filePath("cache"));
        const QByteArray wanted = expected.replace(QLatin1Char('@'), lib).toUtf8();
        QCOMPARE(run.exit, wanted.isEmpty() ? 2 : 0);
        // A refused run says why in one line and writes nothing to stdout.
        QVERIFY2(wanted.isEmpty() ? run.out.isEmpty() && run.err.count('\n') == 1
                 : wanted.startsWith('[') ? QJsonDocument::fromJson(run.out) == QJsonDocument::fromJson(wanted)
                                          : run.out.contains(wanted), run.out.constData());
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("meta");
        QTest::addColumn<QString>("how");     // made by 7-Zip or raw (twice: two members), then damaged
        QTest::addColumn<QString>("problem"); // empty when the package is to be read
        const QByteArray plain = TestArchive::metaJson({{"A.B.1", "FC"}});
        const QByteArray spaces = "{}" + QByteArray(5 << 20, ' ');
        QTest::newRow("zip bomb") << spaces << "7z" << "larger than";
        QTest::newRow("sizes that lie") << spaces << "7z lie" << "stated size";
        QTest::newRow("10,000 levels") << nested("A.B.1", 10000) << "raw" << "not valid JSON";
        QTest::newRow("array") << QByteArray("[{}]") << "raw" << "not a JSON object";
        QTest::newRow("odd keys") << QByteArray(R"({"dependencies":{"":{},"/":{},"..":{},"a\u0000b":{}}})") << "raw" << "";
        QTest::newRow("truncated") << plain << "7z cut" << "not a zip";
        QTest::newRow("encrypted") << plain << "7z -p" << "encrypted";
        QTest::newRow("two meta.json") << plain << "raw twice" << "twice";
        QTest::newRow("database is text") << plain << "7z db text" << "";
        QTest::newRow("database half written") << plain << "7z db half" << "";
    }
    void badInput()
    {
        QFETCH(QByteArray, meta);
        QFETCH(QString, how);
        QFETCH(QString, problem);
        const QString folder = temp.filePath(QStringLiteral("bad/") + QTest::currentDataTag()), cache = folder + " cache";
        const QString package = folder + "/P.Q.1.var", database = cache + "/Morrowquay/Quillmark/library.sqlite";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(how.startsWith("raw") ? RawZip::write(package, QVector<RawZip::Member>(how == "raw" ? 1 : 2, {"meta.json", meta}).toList())
                                      : TestArchive::create(package, {{"meta.json", meta}}, {"-tzip", how == "7z -p" ? "-pSECRET" : "-mx=5"}));
        QByteArray bytes = TestFiles::read(package);
        if (how == "7z cut") {
            QVERIFY(TestFiles::write(package, bytes.left(bytes.size() / 2)));
        } else if (how == "7z lie") {
            // The unpacked size in the local header (offset 22) and in the central one (24).
            bytes.replace(bytes.indexOf("PK\3\4") + 22, 4, QByteArray("\2\0\0\0", 4));
            bytes.replace(bytes.indexOf("PK\1\2") + 24, 4, QByteArray("\2\0\0\0", 4));
            QVERIFY(TestFiles::write(package, bytes));
        } else if (how.startsWith("7z db")) {
            QCOMPARE(quillmark({"--report", "broken", folder}, cache).exit, 0);
            QVERIFY(how.endsWith("half") ? QFile::resize(database, QFileInfo(database).size() / 2)
                                         : TestFiles::write(database, "not a database"));
        }
        const QStringList before = snapshot(folder);
        for (const QString report : {"broken", "duplicates", "broken"}) {
            const Run run = quillmark({"--report", report, folder, "--json"}, cache);
            const QJsonArray entries = QJsonDocument::fromJson(run.out).array();
            QCOMPARE(run.exit, 0);
            QCOMPARE(entries.size(), report == "broken" && !problem.isEmpty() ? 1 : 0);
            QVERIFY2(entries.isEmpty() || entries[0].toObject().value("problem").toString().contains(problem), run.out.constData());
        }
        QCOMPARE(snapshot(folder), before);
    }

    void refreshUpdateStop()
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
};

QTEST_GUILESS_MAIN(TestLibraryIndex)
#include "tst_libraryindex.moc"
