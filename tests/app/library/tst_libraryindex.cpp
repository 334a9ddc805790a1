#include "hvararchive.h"
#include "indexdatabase.h"
#include "libraryindex.h"
#include "quillmarkrun.h"
#include "rawzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

// A meta.json whose dependency `name` holds itself `depth` levels deep, the last one
// holding `inner`.
static QByteArray nested(const QByteArray& name, int depth = 1, const QByteArray& inner = "{}")
{
    QByteArray json = inner;
    while (depth-- > 0) {
        json = "{\"dependencies\":{\"" + name + "\":" + json + "}}";
    }
    return json;
}

// `count` dependencies of one level.
static QByteArray many(int count)
{
    QByteArray names;
    for (int i = 0; i < count; ++i) {
        names += (i ? ",\"L.L." : "\"L.L.") + QByteArray::number(i) + "\":{}";
    }
    return "{\"dependencies\":{" + names + "}}";
}

// Runs `statements` on the database at `path` through a connection of this process,
// which keeps what they lock until closed; the first value of the last one.
static QVariant sql(const QString& path, const QStringList& statements, bool close = true)
{
    QSqlDatabase db = QSqlDatabase::contains(path) ? QSqlDatabase::database(path) : QSqlDatabase::addDatabase("QSQLITE", path);
    db.setDatabaseName(path);
    QSqlQuery query(db);
    for (const QString& statement : statements) {
        if (!((db.isOpen() || db.open()) && query.exec(statement))) {
            qWarning() << statement << query.lastError().text();
        }
    }
    const QVariant value = query.next() ? query.value(0) : QVariant();
    query = QSqlQuery();
    db = QSqlDatabase();
    if (close) {
        QSqlDatabase::removeDatabase(path);
    }
    return value;
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
        // A link to a package met before is that package, not a copy of it.
        QVERIFY(QFile::link(lib + "/sub/C.D.3.var", lib + "/C.D.3.var"));
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

    // A game folder whose packages' content and the collector's own scene use more and
    // less than the descriptions say; every row runs twice, the second from the cache.
    void contentReports_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // JSON with "@" for the game folder; empty for a refused run
        const QString scene = R"({"package":"A.Scene.1","path":"@/AddonPackages/A.Scene.1.var",)";
        const QString party = R"({"package":"Saves/scene/MyParty.json","path":"@/Saves/scene/MyParty.json"})";
        QTest::newRow("undeclared") << QStringList{"--report", "undeclared"} << "[" + scene + R"("references":["E.Undeclared.1"]}])";
        QTest::newRow("unused") << QStringList{"--report", "unused"} << "[" + scene + R"("declared":["D.Unused.1"]}])";
        QTest::newRow("missing, declared") << QStringList{"--report", "missing"} << R"([{"dependency":"D.Unused.1","state":"missing","present":[],"neededBy":["A.Scene.1"]}])";
        QTest::newRow("missing, content") << QStringList{"--report", "missing", "--deps", "content"} << R"([{"dependency":"G.Gone.1","state":"missing","present":[],"neededBy":["Saves/scene/MyParty.json"]}])";
        QTest::newRow("missing, both") << QStringList{"--report", "missing", "--deps", "both"} << R"([{"dependency":"D.Unused.1","state":"missing","present":[],"neededBy":["A.Scene.1"]},
            {"dependency":"G.Gone.1","state":"missing","present":[],"neededBy":["Saves/scene/MyParty.json"]}])";
        QTest::newRow("used-by, declared") << QStringList{"--report", "used-by=C.Dress.2"} << "[" + scene.left(scene.size() - 1) + "}]";
        QTest::newRow("used-by, both") << QStringList{"--report", "used-by=C.Dress.2", "--deps", "both"} << "[" + scene.left(scene.size() - 1) + "}," + party + "]";
        QTest::newRow("used-by, no local") << QStringList{"--report", "used-by=C.Dress.2", "--deps", "both", "--no-local"} << "[" + scene.left(scene.size() - 1) + "}]";
        QTest::newRow("used-by, other game") << QStringList{"--report", "used-by=F.Only.1", "--deps", "content", "--game", "@/Other"} << R"([{"package":"Saves/x.json","path":"@/Other/Saves/x.json"}])";
        QTest::newRow("old, content") << QStringList{"--report", "old", "--deps", "content"} << R"([{"package":"C.Dress.1","path":"@/AddonPackages/C.Dress.1.var","newest":"C.Dress.2","referencedBy":["Saves/scene/MyParty.json"]}])";
        QTest::newRow("unknown source") << QStringList{"--report", "missing", "--deps", "all"} << "";
        QTest::newRow("game not a folder") << QStringList{"--report", "missing", "--game", "@/none"} << "";
    }
    void contentReports()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const QString game = temp.filePath("game");
        const auto package = [&](const QString& name, const QMap<QString, QString>& declared, const QByteArray& content) {
            QList<RawZip::Member> members{{"meta.json", TestArchive::metaJson(declared)}};
            if (!content.isEmpty()) {
                members.append({"Saves/scene/s.json", content, RawZip::Member::File, true});
            }
            return RawZip::write(game + "/AddonPackages/" + name + ".var", members);
        };
        if (!QFile::exists(game) && QDir().mkpath(game + "/AddonPackages")) {
            // Declared: B directly, C as latest, H nested below B, D that nothing uses.
            const QByteArray meta = R"({"dependencies":{"B.Hair.1":{"dependencies":{"H.Nested.latest":{}}},"C.Dress.latest":{},"D.Unused.1":{}}})";
            QVERIFY(RawZip::write(game + "/AddonPackages/A.Scene.1.var",
                                  {{"meta.json", meta},
                                   {"Saves/scene/s.json", R"({"a":"b.hair.1:/h.vam","b":"C.Dress.2:/x","c":"E.Undeclared.1:/y","d":"SELF:/z","e":"A.Scene.latest:/w"})"},
                                   {"Custom/x.vap", R"({"n":"H.Nested.1:/n","o":"H.Nested.1:/o"})"}}));
            for (const char* name : {"B.Hair.1", "C.Dress.1", "C.Dress.2", "E.Undeclared.1", "F.Only.1", "H.Nested.1"}) {
                QVERIFY(package(name, {}, ""));
            }
            QVERIFY(TestFiles::write(game + "/Saves/scene/MyParty.json", R"({"x":"C.Dress.1:/a","y":"G.Gone.1:/b","z":"C.Dress.latest:/c"})"));
            QVERIFY(TestFiles::write(game + "/Other/Saves/x.json", R"(["F.Only.1:/a"])"));
        }
        const QStringList before = snapshot(game);
        for (int run = 0; run < 2; ++run) {
            const Run result = quillmark(QStringList(arguments).replaceInStrings("@", game) << game + "/AddonPackages" << "--json",
                                         temp.filePath("content cache"));
            QCOMPARE(result.exit, expected.isEmpty() ? 2 : 0);
            QVERIFY2(expected.isEmpty() || QJsonDocument::fromJson(result.out) == QJsonDocument::fromJson(QString(expected).replace("@", game).toUtf8()),
                     result.out.constData());
        }
        QCOMPARE(snapshot(game), before);
    }

    // Content that costs too much or names nothing sensible: each run ends, the package
    // stays indexed by its description (its declared X.Y.1 is missing) and reports it.
    void contentBadInput_data()
    {
        QTest::addColumn<QByteArray>("member");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("undeclared");
        QByteArray million = "[";
        for (int i = 0; i < 1000000; ++i) {
            million += "\"C.P" + QByteArray::number(i) + ".1:/x\",";
        }
        QTest::newRow("a member of 1 GB stated size") << QByteArray("Saves/scene/huge.json") << QByteArray("[\"C.P.1:/x\"]") << QStringList();
        QTest::newRow("a string of 100 MB") << QByteArray("Saves/scene/long.json") << "[\"" + QByteArray(100 << 20, 'x') + "C.P.2:/\", \"C.P.1:/x\"]" << QStringList{"C.P.1"};
        QTest::newRow("a million references") << QByteArray("Saves/scene/many.json") << million + "0]" << QStringList{"C.P0.1", "C.P1.1"};
        QTest::newRow("10 million lines") << QByteArray("Custom/list.cslist") << QByteArray(10 << 20, '\n') + "C.P.1:/x" << QStringList{"C.P.1"};
        QTest::newRow("odd names") << QByteArray("Saves/../odd.json") << QByteArray(R"(["A..B.1:/", "A\u0000.B.1:/", ")") + "\xff.B.1:/\", \"C.P.1:/x\"]" << QStringList{"C.P.1"};
        QTest::newRow("an unreadable local file, a link cycle") << QByteArray("local") << QByteArray() << QStringList();
    }
    void contentBadInput()
    {
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, undeclared);
        const QString game = temp.filePath(QStringLiteral("contentbad/") + QTest::currentDataTag());
        const QString folder = game + "/AddonPackages", package = folder + "/P.Q.1.var";
        QList<RawZip::Member> members{{"meta.json", TestArchive::metaJson({{"X.Y.1", ""}})}};
        if (member != "local") {
            RawZip::Member packed{member, bytes};
            packed.deflated = true;
            members.append(packed);
        }
        QVERIFY(QDir().mkpath(game + "/Saves") && QDir().mkpath(folder) && RawZip::write(package, members));
        if (QByteArray(QTest::currentDataTag()).contains("1 GB")) {
            QByteArray zip = TestFiles::read(package);
            zip.replace(zip.lastIndexOf("PK\3\4") + 22, 4, QByteArray("\0\0\0\x40", 4));
            zip.replace(zip.lastIndexOf("PK\1\2") + 24, 4, QByteArray("\0\0\0\x40", 4));
            QVERIFY(TestFiles::write(package, zip));
        }
        if (member == "local") {
            QVERIFY(QFile::link(game + "/Saves", game + "/Saves/again") && TestFiles::write(game + "/Saves/locked.json", "[\"X.Y.1:/x\"]") &&
                    QFile::setPermissions(game + "/Saves/locked.json", QFileDevice::WriteOwner));
        }
        const QStringList before = snapshot(game);
        for (const QString report : {"undeclared", "missing"}) {
            const Run run = quillmark({"--report", report, folder, "--json", "--deps", "both"}, game + " cache");
            const QJsonArray entries = QJsonDocument::fromJson(run.out).array();
            QCOMPARE(run.exit, 0);
            if (report == "missing") {
                QVERIFY2(std::any_of(entries.begin(), entries.end(), [](const QJsonValue& entry) {
                    return entry["dependency"] == "X.Y.1" && entry["neededBy"].toArray().contains("P.Q.1");
                }), run.out.constData());
            } else {
                QVERIFY2(entries.first().toObject().value("references").toVariant().toStringList().mid(0, 2) == undeclared, run.out.constData());
            }
        }
        QCOMPARE(snapshot(game), before);
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("meta");
        QTest::addColumn<QString>("how");     // made by 7-Zip or raw (twice: two members), then damaged
        QTest::addColumn<QString>("problem"); // empty when the package is to be read
        const QByteArray plain = TestArchive::metaJson({{"A.B.1", "FC"}});
        const QByteArray spaces = "{}" + QByteArray(5 << 20, ' ');
        const auto sized = [](qint64 size) { return "{}" + QByteArray(int(size) - 2, ' '); };
        QTest::newRow("meta.json of the limit") << sized(HVarArchive::defaultLimit) << "7z" << "";
        QTest::newRow("zip bomb, one byte over") << sized(HVarArchive::defaultLimit + 1) << "7z"
                                                 << QString("larger than %1 bytes").arg(HVarArchive::defaultLimit);
        QTest::newRow("sizes that lie") << spaces << "7z lie" << "stated size";
        QTest::newRow("10,000 levels") << nested("A.B.1", 10000) << "raw" << "not valid JSON";
        QTest::newRow("501 levels") << nested("A.B.1", 501) << "raw" << "more than 500 levels";
        QTest::newRow("20,001 dependencies") << many(20001) << "7z" << "more than 20000 dependencies";
        // Each of the 3,000 would repeat a route of half a million characters.
        QTest::newRow("499 levels of long names") << nested(QByteArray(1000, 'n'), 499, many(3000)) << "7z" << "characters";
        QTest::newRow("array") << QByteArray("[{}]") << "raw" << "not a JSON object";
        QTest::newRow("odd keys") << QByteArray(R"({"dependencies":{"":{},"/":{},"..":{},"a\u0000b":{}}})") << "raw" << "";
        QTest::newRow("truncated") << plain << "7z cut" << "not a zip";
        QTest::newRow("encrypted") << plain << "7z -p" << "encrypted";
        QTest::newRow("two meta.json") << plain << "raw twice" << "twice";
        QTest::newRow("database is text") << plain << "7z db text" << "";
        QTest::newRow("database half written") << plain << "7z db half" << "";
        // An older database is emptied and used; a newer one is another version's and left alone.
        QTest::newRow("database of an older schema") << plain << "7z db 2" << "";
        QTest::newRow("database of a newer schema") << plain << "7z db 99" << "";
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
                    : how.endsWith("text") ? TestFiles::write(database, "not a database")
                                           : sql(database, {"PRAGMA user_version=" + how.mid(6)}).isNull());
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
        if (how.startsWith("7z db 9")) {
            QCOMPARE(sql(database, {"PRAGMA user_version"}).toInt(), 99);
        }
        QVERIFY(how.endsWith("text") || how.endsWith("half") || !QFile::exists(database + ".broken"));
    }

    // Another process's transaction: waited for about a second, then this run keeps its
    // records in memory, leaves the file alone and says so once.
    void busyDatabase_data()
    {
        QTest::addColumn<QStringList>("holder");
        const QString insert = "INSERT INTO packages VALUES ('/elsewhere/H.H.1.var', 1, 1, '', '', x'00000000')";
        QTest::newRow("write transaction") << QStringList{"BEGIN IMMEDIATE", insert};
        QTest::newRow("exclusive lock") << QStringList{"PRAGMA locking_mode=EXCLUSIVE", "BEGIN EXCLUSIVE", insert};
    }
    void busyDatabase()
    {
        QFETCH(QStringList, holder);
        const QString folder = temp.filePath(QStringLiteral("busy/") + QTest::currentDataTag()), cache = folder + " cache";
        const QString database = cache + "/Morrowquay/Quillmark/library.sqlite";
        QVERIFY(TestArchive::create(folder + "/P.Q.1.var", {{"meta.json", TestArchive::metaJson({{"X.Y.1", ""}})}}));
        QCOMPARE(quillmark({"--report", "missing", folder}, cache).exit, 0);
        // One that the next run reads and would store.
        QVERIFY(TestArchive::create(folder + "/R.S.1.var", {{"meta.json", TestArchive::metaJson({{"Z.Z.1", ""}})}}));
        sql(database, holder, false);
        for (const bool held : {true, false}) {
            QElapsedTimer clock;
            clock.start();
            const Run run = quillmark({"--report", "missing", folder}, cache);
            QVERIFY2(run.exit == 0 && run.out.endsWith("Z.Z.1\n    needed by R.S.1\n2 entries\n"), run.out + run.err);
            QVERIFY2(clock.elapsed() < 5000 && run.err.count("keeps") == (held ? 1 : 0), run.err.constData());
            QVERIFY(!QFile::exists(database + ".broken"));
            if (held) {
                sql(database, {"COMMIT"});
            }
        }
        // The holder's row and the package the last run read.
        QCOMPARE(sql(database, {"SELECT count(*) FROM packages WHERE path = '/elsewhere/H.H.1.var' OR path LIKE '%/R.S.1.var'"}).toInt(), 2);
    }

    // A drive root as the folder: its packages are found in the database and a package
    // moved in counts as there, though the root ends in its separator already.
    void rootFolder()
    {
        const QString database = temp.filePath("root.sqlite");
        const std::atomic<bool> stop(false);
        QVector<IndexedPackage> known{IndexedPackage::fromFile(lib + "/A.B.1.var", 1, 1)};
        known[0].described = true;
        QVERIFY(IndexDatabase(database).store(known, {}, stop));
        QHash<QString, IndexedPackage> loaded;
        QVERIFY(IndexDatabase(database).load("/", loaded) && loaded.contains(lib + "/A.B.1.var"));
        LibraryIndex index(nullptr, database);
        QSignalSpy ready(&index, &LibraryIndex::ready);
        // As a listing of the root hands it over: nothing there yet.
        index.refresh("/", LibraryCatalog::shared({}));
        QTRY_VERIFY_WITH_TIMEOUT(index.isReady() && !index.isRunning(), 60000);
        index.update({lib + "/C.D.1.var"});
        QCOMPARE(index.catalog()->packages().size(), 1);
        QCOMPARE(index.catalog()->packages()[0].path, lib + "/C.D.1.var");
    }

    void closingDoesNotWait()
    {
        const QString database = temp.filePath("held.sqlite");
        sql(database, {"PRAGMA locking_mode=EXCLUSIVE", "BEGIN EXCLUSIVE", "CREATE TABLE t (x)"}, false);
        QElapsedTimer clock;
        {
            LibraryIndex index(nullptr, database);
            index.refresh(lib);
            clock.start();
        }
        // 200 ms, and what the machine's load adds; the thread left running ends before the program.
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        sql(database, {"ROLLBACK"});
    }

    // A file this process may not read, even as root; then one of the same size and time
    // that it may.
    void unreadableIsReadAgain()
    {
        const QString denied = "/proc/sys/vm/drop_caches";
        if (!QFileInfo(denied).isFile() || QFile(denied).open(QIODevice::ReadOnly)) {
            QSKIP("no file that refuses reading");
        }
        const QString folder = temp.filePath("unreadable"), database = temp.filePath("unreadable.sqlite");
        const QString package = folder + "/D.Q.2.var";
        QVERIFY(QDir().mkpath(folder) && QFile::link(denied, package));
        LibraryIndex index(nullptr, database);
        QSignalSpy ready(&index, &LibraryIndex::ready);
        const auto problem = [&] {
            index.refresh(folder);
            return ready.wait(60000) ? index.catalog()->packages().value(0).problem : QString("no refresh");
        };
        QCOMPARE(problem(), QString("cannot read: Permission denied"));
        QCOMPARE(sql(database, {"SELECT count(*) FROM packages"}).toInt(), 0);
        const QDateTime time = QFileInfo(package).lastModified();
        QFile readable(package);
        QVERIFY(QFile::remove(package) && readable.open(QIODevice::WriteOnly) &&
                readable.setFileTime(time, QFileDevice::FileModificationTime));
        readable.close();
        QCOMPARE(problem(), QString("not a zip archive, or one cut short"));
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
        // The catalog follows at once; the moved package is read in the background.
        index.update({lib + "/C.D.1.var", lib + "/sub/C.D.1.var", lib + "/sub/A.B.1.var"});
        const auto paths = [&] {
            QStringList paths;
            for (const IndexedPackage& package : index.catalog()->packages()) {
                paths << package.path.mid(lib.size()) + (package.described ? "" : " unread");
            }
            return paths;
        };
        QCOMPARE(paths(), QStringList({"/A.B.1.var", "/Bad.var", "/sub/C.D.1.var unread", "/sub/C.D.3.var"}));
        QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 3, 60000);
        QCOMPARE(paths(), QStringList({"/A.B.1.var", "/Bad.var", "/sub/C.D.1.var", "/sub/C.D.3.var"}));
    }

    // The records of a folder whose name merely begins like the indexed one's stay as
    // they were, and are no part of its catalog.
    void neighbours_data()
    {
        QTest::addColumn<QString>("indexed");
        for (const char* folder : {"AddonPackages", "AddonPackages_old", "AddonPackages2"}) {
            QTest::newRow(folder) << folder;
        }
    }
    void neighbours()
    {
        QFETCH(QString, indexed);
        const QString root = temp.filePath(QStringLiteral("neighbours/") + QTest::currentDataTag());
        const QString database = root + "/index.sqlite";
        const auto refresh = [&](const QString& folder) {
            LibraryIndex index(nullptr, database);
            QSignalSpy ready(&index, &LibraryIndex::ready);
            index.refresh(root + "/" + folder);
            return ready.wait(60000) ? index.catalog()->packages().size() : -1;
        };
        const QStringList folders{"AddonPackages", "AddonPackages_old", "AddonPackages2"};
        for (const QString& folder : folders) {
            QVERIFY(TestFiles::write(root + "/" + folder + "/A.B.1.var", "text"));
            QCOMPARE(refresh(folder), 1);
        }
        // One package of the indexed folder gone, another new.
        QVERIFY(QFile::rename(root + "/" + indexed + "/A.B.1.var", root + "/" + indexed + "/C.D.1.var"));
        QCOMPARE(refresh(indexed), 1);
        for (const QString& folder : folders) {
            QHash<QString, IndexedPackage> stored;
            QVERIFY(IndexDatabase(database).load(root + "/" + folder, stored));
            QCOMPARE(stored.keys(), QStringList{root + "/" + folder + (folder == indexed ? "/C.D.1.var" : "/A.B.1.var")});
        }
    }
};

QTEST_GUILESS_MAIN(TestLibraryIndex)
#include "tst_libraryindex.moc"
