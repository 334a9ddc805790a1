#include "hzip.h"
#include "listedwindow.h"
#include "messageboxcatcher.h"
#include "rawzip.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <algorithm>

namespace {

// The longest the GUI thread may go without running its timers, while a package is
// inspected and while a selection waits for the inspection to stop: far from a wait
// for a 7-Zip run that hangs until its time limit, far from the machine's load too.
const qint64 stallLimitMs = HZip::runLimitMs / 3;
const int inspectionLimitMs = 60000;

const QString good = QStringLiteral("Good.Package.1.var");
const QString hostile = QStringLiteral("Hostile.Package.1.var");

RawZip::Member file(const QByteArray& name, const QByteArray& data = "x")
{
    return {name, data, RawZip::Member::File};
}

RawZip::Member link(const QByteArray& name, const QByteArray& target)
{
    return {name, target, RawZip::Member::Link};
}

// Every entry below `root` with its kind and, for files, size and time; links are not
// followed and the folders `skip` are left out.
QStringList snapshot(const QString& root, const QStringList& skip = {})
{
    QStringList entries;
    for (const QString& entry : TestFiles::tree(root)) {
        const QString path = root + QLatin1Char('/') + entry;
        if (std::any_of(skip.cbegin(), skip.cend(), [&path](const QString& folder) {
                return path == folder || path.startsWith(folder + QLatin1Char('/'));
            })) {
            continue;
        }
        const QFileInfo info(path);
        if (info.isSymLink()) {
            entries << path + " -> " + info.symLinkTarget();
        } else if (info.isDir()) {
            entries << path + "/";
        } else {
            entries << QString("%1 %2 %3")
                           .arg(path)
                           .arg(info.size())
                           .arg(info.lastModified().toMSecsSinceEpoch());
        }
    }
    return entries;
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void hostilePackage_data();
    void hostilePackage();

private:
    // The hostile package of the row `tag`, in a folder of its own.
    QString hostileIn(const QString& tag) const
    {
        return root.path() + "/packages/" + tag + "/" + hostile;
    }
    QString outside() const { return root.path() + "/outside"; }

    QTemporaryDir root;
    QByteArray picture;
};

void TestHostile::initTestCase()
{
    if (TestArchive::sevenZip().isEmpty()) {
        QSKIP("7-Zip is not installed");
    }
    QVERIFY(root.isValid());
    picture = TestArchive::picture(16, 16);
    // What a link in a package could point at: none of it may be read or changed.
    QVERIFY(TestFiles::write(outside() + "/secret.jpg", picture));
    QVERIFY(TestFiles::write(outside() + "/meta.json",
                             TestArchive::metaJson({{"Leak.Secret.1", "FC"}})));
    QVERIFY(TestArchive::create(root.path() + "/" + good,
                                {{"meta.json", TestArchive::metaJson({{"Some.Thing.1", "CC BY"}})},
                                 {"Saves/scene/good.jpg", picture}}));
}

void TestHostile::hostilePackage_data()
{
    QTest::addColumn<int>("dependencies"); // -1: whatever 7-Zip makes of it
    QTest::addColumn<int>("items");
    const auto row = [this](const char* tag, int dependencies, int items) {
        QTest::newRow(tag) << dependencies << items;
        QDir().mkpath(QFileInfo(hostileIn(tag)).path());
        return hostileIn(tag);
    };
    const QByteArray meta = TestArchive::metaJson({{"A.B.1", "FC"}});

    QVERIFY(TestFiles::write(row("zero bytes", 0, 0), QByteArray()));
    QByteArray noise(64 * 1024, '\0');
    QRandomGenerator random(8);
    for (char& byte : noise) {
        byte = char(random.bounded(256));
    }
    QVERIFY(TestFiles::write(row("random bytes", 0, 0), noise));
    const QString truncated = row("truncated zip", -1, -1);
    QVERIFY(
        TestArchive::create(truncated, {{"meta.json", meta},
                                        {"Saves/scene/a.jpg", picture},
                                        {"Saves/scene/b.jpg", TestArchive::picture(200, 200)}}));
    const QByteArray whole = TestFiles::read(truncated);
    QVERIFY(TestFiles::write(truncated, whole.left(whole.size() * 2 / 3)));

    QVERIFY(RawZip::write(row("meta.json is a folder", 0, 2),
                          {{"meta.json/", QByteArray(), RawZip::Member::Directory},
                           file("meta.json/inner.jpg", picture),
                           file("meta.json/meta.json", TestArchive::metaJson())}));
    const int depth = 25 * 1000 * 1000;
    QVERIFY(TestArchive::create(row("meta.json of 50 MB nested arrays", 0, 0),
                                {{"meta.json", QByteArray(depth, '[') + QByteArray(depth, ']')}}));
    const QByteArray utf16 =
        QTextCodec::codecForName("UTF-16LE")->fromUnicode(QString::fromUtf8(meta));
    QVERIFY(TestArchive::create(row("meta.json in UTF-16", 0, 0),
                                {{"meta.json", QByteArray("\xFF\xFE", 2) + utf16}}));
    QVERIFY(TestArchive::create(row("meta.json with invalid UTF-8", 0, 0),
                                {{"meta.json", "{\"dependencies\": {\"A.\xff\xfe.1\": "
                                               "{\"licenseType\": \"\xc3\x28\xed\xa0\x80\"}}}"}}));
    QMap<QString, QString> many{{"Good.Package.latest", "FC"}};
    for (int i = 0; i < 9999; ++i) {
        many.insert(QString("Creator.Pkg%1.1").arg(i, 5, 10, QLatin1Char('0')), "CC BY");
    }
    QVERIFY(TestArchive::create(row("10,000 dependencies", 10000, 0),
                                {{"meta.json", TestArchive::metaJson(many)}}));

    const QByteArray deep = QByteArray(200, 's').append('/').repeated(5) + "c.jpg";
    QVERIFY(RawZip::write(row("names of 1,000 characters", 0, 3),
                          {file("Custom/" + QByteArray(1000, 'a') + ".jpg", picture),
                           file("Saves/scene/" + QByteArray(1000, 'b') + ".json", "{}"),
                           file("Custom/" + deep, picture)}));
    QVERIFY(RawZip::write(row("names with .. segments", 0, -1),
                          {file("../escape1.jpg", picture), file("../../escape2.jpg", picture),
                           file("Custom/../../../../escape3.jpg", picture),
                           file("../meta.json", TestArchive::metaJson({{"Up.Up.1", ""}})),
                           file("Saves/scene/ok.jpg", picture)}));
    QVERIFY(RawZip::write(row("names with line breaks", 0, -1),
                          {file("Saves/scene/new\nline.jpg", picture),
                           file("Custom/carriage\rreturn.jpg", picture),
                           file("Custom/\n2024-03-05 14:07:08 .....  1  1  fake.jpg", picture),
                           file("meta.json\n", TestArchive::metaJson({{"A.B.1", ""}}))}));
    QVERIFY(RawZip::write(row("names that are only dots", 0, -1),
                          {file(".", picture), file("..", picture), file("...", picture),
                           file("....jpg", picture), file("Custom/.../x.jpg", picture)}));
    QList<RawZip::Member> members;
    for (int i = 0; i < 20000; ++i) {
        const QByteArray name = QByteArray::number(i);
        members << (i % 20 == 0 ? file("Custom/Images/p" + name + ".jpg", picture)
                                : file("Custom/Scripts/s" + name + ".cs"));
    }
    QVERIFY(RawZip::write(row("20,000 members", 0, 20000), members));

    const QMap<QString, QByteArray> locked{{"meta.json", meta}, {"Saves/scene/s.jpg", picture}};
    QVERIFY(TestArchive::create(row("encrypted zip", 0, 1), locked, {"-tzip", "-pSECRET"}));
    QVERIFY(TestArchive::create(row("7z with encrypted names", 0, 0), locked,
                                {"-t7z", "-pSECRET", "-mhe=on"}));
    QVERIFY(TestArchive::create(row("7z archive", 1, 1), locked, {"-t7z"}));

    const QByteArray away = outside().toUtf8();
    QVERIFY(RawZip::write(row("links out of the archive", 0, -1),
                          {link("meta.json", away + "/meta.json"),
                           link("Saves/scene/abs.jpg", away + "/secret.jpg"),
                           link("Saves/scene/rel.jpg", "../../../../../outside/secret.jpg"),
                           link("Custom/away", away), file("Custom/away/planted.jpg", picture),
                           link("Custom/inside.jpg", "../Saves/scene/abs.jpg")}));
}

void TestHostile::hostilePackage()
{
    QFETCH(int, dependencies);
    QFETCH(int, items);
    const QString folder = QFileInfo(hostileIn(QTest::currentDataTag())).path();
    QVERIFY(QFile::copy(root.path() + "/" + good, folder + "/" + good));
    MessageBoxCatcher boxes;
    ListedWindow w(folder);
    QVERIFY(w.list());
    QCOMPARE(w.packages->item(1, 1)->text(), hostile);

    // The good package first, so that the hostile one's results are told from its.
    const auto showsGood = [&] {
        return w.deps->rowCount() == 1 && w.deps->item(0, 0) &&
               w.deps->item(0, 0)->text() == "Some.Thing.1" && w.contents->count() == 1 &&
               w.contents->item(0)->text() == "\u301001 Scene\u3011Saves/scene/good.";
    };
    w.packages->selectRow(0);
    QTRY_VERIFY_WITH_TIMEOUT(showsGood(), inspectionLimitMs);

    const QString scratch = QCoreApplication::applicationDirPath() + "/~tmp2";
    const QStringList rootBefore = snapshot(root.path());
    // The program's folder holds the home folder of the test as well, with the cache
    // folder where thumbnails are kept.
    const QStringList ownFolders{scratch,
                                 QStandardPaths::writableLocation(QStandardPaths::CacheLocation)};
    const QStringList appBefore = snapshot(QCoreApplication::applicationDirPath(), ownFolders);

    // How long the GUI thread goes at most without running its timers.
    qint64 longest = 0;
    QElapsedTimer clock;
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, [&] { longest = qMax(longest, clock.restart()); });
    clock.start();
    ticks.start(10);
    w.packages->selectRow(1);
    QCOMPARE(w.shownPath(), folder + "/" + hostile);
    QTRY_VERIFY_WITH_TIMEOUT(!showsGood() &&
                                 (dependencies < 0 || w.deps->rowCount() == dependencies) &&
                                 (items < 0 || w.contents->count() == items),
                             inspectionLimitMs);
    if (dependencies > 1) {
        // The last of them, "Good.Package.latest", is satisfied by the listed package.
        QTRY_VERIFY_WITH_TIMEOUT(w.deps->item(dependencies - 1, 1) != nullptr, inspectionLimitMs);
        QCOMPARE(w.deps->item(dependencies - 1, 1)->text(), QString("\u221A"));
    }
    QVERIFY(w.deps->findItems("Leak.Secret.1", Qt::MatchExactly).isEmpty());

    // Back to the good package: the hostile inspection stops at once and leaves
    // nothing behind that would spoil the next one.
    w.packages->selectRow(0);
    QTRY_VERIFY_WITH_TIMEOUT(showsGood(), inspectionLimitMs);
    QVERIFY2(longest < stallLimitMs, qPrintable(QString("stood still for %1 ms").arg(longest)));
    QVERIFY(boxes.titles.isEmpty());

    QCOMPARE(snapshot(root.path()), rootBefore);
    QCOMPARE(snapshot(QCoreApplication::applicationDirPath(), ownFolders), appBefore);
    // Above the program's folder, where ".." segments would lead.
    for (QDir up(scratch); up.cdUp();) {
        QVERIFY2(up.entryList({"escape*"}, QDir::AllEntries | QDir::System).isEmpty(),
                 qPrintable(up.path()));
    }
    // The scratch folder keeps nothing but files of its own, none of them a link.
    QCOMPARE(snapshot(scratch).filter(" -> "), QStringList());
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
