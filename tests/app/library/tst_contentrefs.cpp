// The packages that content uses: the scanner on hand-made members in chunks of any
// size, the reader on real archives and on a game folder of the collector's own files.
#include "contentreader.h"
#include "localcontentreader.h"
#include "rawzip.h"
#include "referencescanner.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

class TestContentRefs : public QObject
{
    Q_OBJECT

private slots:
    void scanner_data();
    void scanner();
    void packageContent();
    void localContent();
};

namespace {

QStringList scanned(ReferenceScanner::Kind kind, const QByteArray& bytes, int chunk)
{
    ReferenceScanner scanner(kind);
    for (int at = 0; at < bytes.size(); at += chunk) {
        scanner.feed(bytes.constData() + at, qMin(chunk, bytes.size() - at));
    }
    return scanner.references();
}

} // namespace

void TestContentRefs::scanner_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    const int json = ReferenceScanner::Json;
    const auto row = [json](const char* name, const QByteArray& bytes, const QStringList& expected) {
        QTest::newRow(name) << json << bytes << expected;
    };
    row("forms", R"({"id":"A.B.12:/Custom/x.vam","s":"My Maker.Hair Pack.LATEST:/h.vam",)"
                 R"("m":["C.D.min3:/a/b"], "C.D.min3:/key":1})",
        {"A.B.12", "My Maker.Hair Pack.LATEST", "C.D.min3"});
    row("caseless, first spelling kept", R"(["a.b.latest:/x", "A.B.Latest:/y", "A.B.1:/z:/A.B.2:/"])",
        {"a.b.latest", "A.B.1"});
    row("only look like references",
        R"(["SELF:/Custom/x", "A.B.v2:/x", "A.B.:/x", "A..1:/x", "A.B.1.2:/x", "A.B:/x",)"
        R"( "A.B.1:x/", "x/A.B.1:/", "A.B.min:/", "A.B.mIn2:/", "http://host/a", "A.B.1234567890:/"])",
        {});
    row("outside strings", "A.B.1:/x and C.D.2:/y", {});
    row("escapes", R"(["A.B.1:\/x", "E\u002eF.2:/x", "G.H.3\u003a\u002fx", "I.J.4\u003A\u002Fx",)"
                   R"( "\ud83d\ude00.K.5:/x", "\"L.M.6:/x", "x\"N.O.7:/", "P\\.Q.8:/", "R\n.S.9:/"])",
        {"A.B.1", "E.F.2", "G.H.3", "I.J.4", "\U0001F600.K.5"});
    row("bad names", QByteArray(R"(["\ud83d.B.1:/x", "A\u0000.B.1:/x", "\ufeff.B.1:/x", ")") + "\xff.B.1:/\", \"A" +
                         '\0' + ".B.1:/\", \"\xEF\xBB\xBF.B.1:/\", \"\xEF\xBB\xBF" "A.B.1:/\"]",
        {});
    row("text that is no JSON", QByteArray("\xff\xfe") + '\0' + "{{{ \"\xc3\xa9.B.1:/x\" ]]] \"Z.Y.2:/",
        {"\xc3\xa9.B.1", "Z.Y.2"});
    const int lines = ReferenceScanner::Lines;
    QTest::newRow("list lines") << lines
                                << QByteArray("\xEF\xBB\xBF" "A.B.1:/Custom/x.vam\r\n  C.D.latest:/y\n"
                                              "\"E.F.2:/z\"\nSELF:/x\nnot G.H.3:/\n\\u0041.B.1:/")
                                << QStringList{"A.B.1", "C.D.latest", "not G.H.3"};
    // Past the first few hundred bytes of a string nothing counts, and runs of ":/"
    // cost one pass: 40 MB of them must not take the time of a thousand.
    const QByteArray huge = QByteArray(20 * 1000 * 1000, 'x') + "A.B.1:/";
    row("huge strings", "[\"" + huge + "\", \"" + QByteArray(20 * 1000 * 1000, ':').replace(":", ":/") +
                            "\", \"" + QByteArray(300, 'c') + ".P.1:/\", \"C.D.2:/\"]",
        {"C.D.2"});
    QByteArray many = "[";
    QStringList kept;
    for (int i = 0; i < ReferenceScanner::maxReferences + 10; ++i) {
        const QByteArray name = "C.P" + QByteArray::number(i) + ".1";
        many += "\"" + name + ":/x\",";
        kept << QString::fromLatin1(name);
    }
    row("too many", many, kept.mid(0, ReferenceScanner::maxReferences));
}

void TestContentRefs::scanner()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    // Chunk ends fall inside names, escapes and the ":/" itself.
    const QVector<int> chunks = bytes.size() > 100000 ? QVector<int>{65536, 65537} : QVector<int>{bytes.size(), 1, 3, 7};
    for (const int chunk : chunks) {
        QCOMPARE(scanned(ReferenceScanner::Kind(kind), bytes, chunk), expected);
    }
}

void TestContentRefs::packageContent()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("Maker.Scenes.1.var");
    RawZip::Member big{"Saves/scene/Big.json", "[\"I.J.1:/x\"," + QByteArray(5000, ' ') + "]"};
    big.deflated = true;
    QVERIFY(RawZip::write(path, {
        {"meta.json", TestArchive::metaJson({{"A.B.1", "CC BY"}})},
        {"Saves/scene/One.json", R"({"atoms":[{"id":"A.B.1:/Custom/Hair/h.vam"},{"id":"C.D.latest:/x"}]})"},
        {"Custom/Clothing/Maker/Dress/dress.VAM", R"({"t":"c.d.LATEST:/t.jpg","u":"SELF:/x.jpg"})"},
        {"Custom/Atom/Person/Pose/list.cslist", "E.F.2:/Custom/p.vap\n"},
        {"Saves/scene/notes.txt", "\"G.H.1:/x\""},
        big,
    }));
    const std::atomic<bool> stop(false);
    ContentReader::Limits limits;
    limits.memberBytes = 4096;
    ContentReferences content = ContentReader::read(path, stop, limits);
    QVERIFY(content.problem.isEmpty());
    QStringList found;
    for (const ContentReference& reference : content.references) {
        found << reference.name + " in " + reference.member;
    }
    found.sort();
    QCOMPARE(found, QStringList({"A.B.1 in Saves/scene/One.json",
                                 "C.D.latest in Saves/scene/One.json",
                                 "E.F.2 in Custom/Atom/Person/Pose/list.cslist"}));
    QCOMPARE(content.membersScanned, 4);
    QCOMPARE(content.membersSkipped, 1);
    QVERIFY(!content.complete);

    limits.memberBytes = 1 << 20;
    content = ContentReader::read(path, stop, limits);
    QVERIFY(content.complete);
    QCOMPARE(content.references.last().name, QString("I.J.1"));
    limits.references = 1;
    QCOMPARE(ContentReader::read(path, stop, limits).references.size(), 1);
    QVERIFY(!ContentReader::read(path, stop, limits).complete);
    // Too little for all: what is past the package's bound is skipped.
    limits = ContentReader::Limits();
    limits.packageBytes = 200;
    QVERIFY(ContentReader::read(path, stop, limits).membersSkipped > 0);

    QVERIFY(TestFiles::write(folder.filePath("Broken.Package.1.var"), "PK not a zip"));
    content = ContentReader::read(folder.filePath("Broken.Package.1.var"), stop);
    QVERIFY(!content.problem.isEmpty());
    QVERIFY(!content.complete);
}

void TestContentRefs::localContent()
{
    QTemporaryDir game;
    QVERIFY(TestFiles::write(game.filePath("Saves/scene/MyParty.json"), R"({"a":"A.B.1:/x","b":"C.D.2:/y"})"));
    QVERIFY(TestFiles::write(game.filePath("Saves/scene/notes.txt"), R"("E.F.1:/x")"));
    QVERIFY(TestFiles::write(game.filePath("custom/Clothing/x.vam"), R"({"t":"G.H.latest:/t.jpg"})"));
    QVERIFY(TestFiles::write(game.filePath("AddonPackages/loose.json"), R"("I.J.1:/x")"));
    QVERIFY(TestFiles::write(game.filePath("Saves/scene/locked.json"), R"("K.L.1:/x")"));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(game.filePath("Saves"), game.filePath("Saves/scene/again")));
    QVERIFY(::mkfifo(QFile::encodeName(game.filePath("Saves/pipe.json")).constData(), 0600) == 0);
    QVERIFY(QFile::setPermissions(game.filePath("Saves/scene/locked.json"), QFileDevice::WriteOwner));
    const bool canLock = ::geteuid() != 0;
#else
    const bool canLock = false;
#endif
    const QStringList before = TestFiles::tree(game.path());
    const std::atomic<bool> stop(false);
    const LocalContent content = LocalContentReader::readAll(game.path(), stop);
    QStringList found;
    for (const LocalReferrer& referrer : content.referrers) {
        found << referrer.path + ": " + referrer.references.join(",");
    }
    QStringList expected{"Saves/scene/MyParty.json: A.B.1,C.D.2", "custom/Clothing/x.vam: G.H.latest"};
    if (!canLock) {
        expected.insert(1, "Saves/scene/locked.json: K.L.1");
    }
    QCOMPARE(found, expected);
    QCOMPARE(content.unreadable, canLock ? 1 : 0);
    QCOMPARE(TestFiles::tree(game.path()), before);
}

QTEST_GUILESS_MAIN(TestContentRefs)
#include "tst_contentrefs.moc"
