#include "listedwindow.h"
#include "messageboxcatcher.h"
#include "packagefiles.h"
#include "rawzip.h"
#include "testarchive.h"
#include "testfiles.h"
#include "contentkind.h"
#include "hvararchive.h"
#include "threadman.h"
#include "thumbnailcache.h"

#include <QCheckBox>
#include <QListWidget>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QtTest>

namespace {

const int waitMs = 20000;

// What the item's icon shows: the test pictures are red or blue all over, the
// placeholder pictures have a light grey frame.
QString tint(const QListWidgetItem* item)
{
    const QImage image = item->icon().pixmap(256, 256).toImage();
    if (image.isNull()) {
        return "none";
    }
    if (qGray(image.pixel(1, 1)) > 240) {
        return "placeholder";
    }
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    return centre.red() > centre.blue() ? "red" : "blue";
}

// Every item, sorted: its label and, with `tints`, what its icon shows.
QStringList shown(const QListWidget* list, bool tints = true)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->item(i)->text() + (tints ? " " + tint(list->item(i)) : QString());
    }
    items.sort();
    return items;
}

// Inspects the package on a worker of its own: the content list that it fills. With
// `stopAt`, the inspection is stopped once the progress bar reaches that value.
QStringList inspect(const QString& package, int stopAt = -1)
{
    QTableWidget table;
    QListWidget list;
    threadMan worker;
    QObject::connect(&worker, &threadMan::fillTable, &table,
                     [](int, int, int, QTableWidgetItem* cell) { delete cell; });
    // On the job's own thread, as a click would clear it between two items.
    QObject::connect(
        &worker, &threadMan::setProg, &worker,
        [&worker, stopAt](int value) {
            if (stopAt >= 0 && value >= stopAt) {
                worker.requestStop();
            }
        },
        Qt::DirectConnection);
    worker.startInspection(package, &table, &list, nullptr, false);
    // A worker still running here leaves the list short of what the caller expects.
    worker.wait(60000);
    worker.finishPictures(60000);
    QCoreApplication::processEvents();
    return shown(&list);
}

// 70 JPEGs padded to one size and two PNGs alike but for case (taken out by 7-Zip),
// among a description and a sound: only the package's time tells the colours apart.
// More pictures than one 7-Zip run takes and than are read ahead.
QByteArray paddedJpeg(const QColor& color)
{
    return TestArchive::picture(64, 64, "JPG", color).leftJustified(3000, 0);
}

bool makeColouredPackage(const QString& path, const QColor& color)
{
    const QByteArray png = TestArchive::picture(8, 8, "PNG", color);
    QMap<QString, QByteArray> members{{"Saves/scene/A.json", "{}"},
                                      {"Custom/Sounds/c.wav", "x"},
                                      {"Custom/B.png", png},
                                      {"Custom/b.png", png}};
    for (int i = 0; i < 70; ++i) {
        members.insert(QString("Saves/scene/%1.jpg").arg(i), paddedJpeg(color));
    }
    return TestArchive::create(path, members, {"-tzip", "-mx0"});
}

const QColor red(200, 40, 40);
const QColor blue(40, 40, 200);

} // namespace

class TestInspection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void dependencies();
    void contents();
    void thumbnailCache_data();
    void thumbnailCache();
    void stoppedInspection_data();
    void stoppedInspection();
    void cacheFileOfOthers_data();
    void cacheFileOfOthers();

private:
    QTemporaryDir dir;
};

void TestInspection::initTestCase()
{
    if (TestArchive::sevenZip().isEmpty()) {
        QSKIP("7-Zip is not installed");
    }
}

void TestInspection::dependencies()
{
    const QString folder = dir.path() + "/deps";
    const QByteArray meta = R"({"dependencies": {"Creator.Package.latest": {"licenseType": "CC BY"},
        "Creator.Package.Latest": {"licenseType": "FC"}, "Other.Thing.11": {"licenseType": ""},
        "Creator.Package2.latest": {"licenseType": "PC"}, "NoDots": {"licenseType": "X"},
        "Other.Thing.12": {"licenseType": "CC BY-SA"}, ".Lead.Dot": {"licenseType": "Y"}}})";
    // Blanks before the description keep it valid JSON at any size: read at the limit,
    // not one byte over it, as the library index reads it.
    const auto padded = [&](qint64 size) { return QByteArray(size - meta.size(), ' ') + meta; };
    QVERIFY(TestArchive::create(folder + "/Me.Scene.1.var",
                                {{"meta.json", padded(threadMan::maxMetaSize)}}));
    QVERIFY(TestArchive::create(folder + "/Over.Limit.1.var",
                                {{"meta.json", padded(threadMan::maxMetaSize + 1)}}));
    QVERIFY(TestArchive::create(folder + "/sub/creator.package.3.var", {{"meta.json", "{}"}}));
    QVERIFY(TestArchive::create(folder + "/Other.Thing.120.var", {{"meta.json", "{}"}}));
    QVERIFY(TestArchive::create(folder + "/No.Meta.1.var", {{"Saves/scene/a.json", "{}"}}));
    QVERIFY(TestArchive::create(folder + "/Broken.Meta.1.var", {{"meta.json", "{ not json"}}));
    QVERIFY(TestArchive::create(folder + "/Empty.Meta.1.var", {{"meta.json", "{}"}}));
    MessageBoxCatcher boxes;
    auto w = std::make_unique<ListedWindow>(folder);
    QVERIFY(w->list());
    const auto cells = [&w] {
        QStringList cells;
        for (int i = 0; i < w->deps->rowCount() * 3; ++i) {
            const QTableWidgetItem* cell = w->deps->item(i / 3, i % 3);
            cells << (cell ? cell->text() : "-");
        }
        return cells.join('|');
    };
    // Rows come in key order; a tick only where a listed file satisfies the name: any
    // version for "latest" in any case, never a version that merely begins the same.
    const QString expected = ".Lead.Dot|-|Y|Creator.Package.Latest|\u221A|FC|"
                             "Creator.Package.latest|\u221A|CC BY|Creator.Package2.latest|-|PC|"
                             "NoDots|-|X|Other.Thing.11|-||Other.Thing.12|-|CC BY-SA";
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("meta.json not read"));
    // A package whose description cannot be read shows no dependencies, not those of
    // the package before it.
    for (const char* other :
         {"No.Meta.1.var", "Broken.Meta.1.var", "Empty.Meta.1.var", "Over.Limit.1.var"}) {
        w->packages->selectRow(w->rowOf("Me.Scene.1.var"));
        QTRY_COMPARE_WITH_TIMEOUT(cells(), expected, waitMs);
        w->packages->selectRow(w->rowOf(other));
        QTRY_COMPARE_WITH_TIMEOUT(w->deps->rowCount(), 0, waitMs);
    }

    // Without 7-Zip: nothing to show, a debug line that names what is missing, no message box.
    const auto sevenZip = TestFiles::scopedEnvironment("DOVETALK_7Z", dir.path() + "/no/such/7z");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^7-Zip not found: DOVETALK_7Z names no"));
    w->contents->addItem("stale");
    w->packages->selectRow(w->rowOf("Me.Scene.1.var"));
    QTRY_COMPARE(w->contents->count(), 0);
    QVERIFY(boxes.titles.isEmpty());

    // A 7-Zip that hangs: a new selection and closing the window end its run at once
    // instead of waiting half a minute for its time limit.
    const QString started = dir.filePath("slow started");
    QVERIFY(TestFiles::writeScript(dir.filePath("slow 7z"),
                                   "touch '" + started.toUtf8() + "'\nexec sleep 60"));
    const auto slow = TestFiles::scopedEnvironment("DOVETALK_7Z", dir.filePath("slow 7z"));
    QElapsedTimer clock;
    for (const char* name : {"No.Meta.1.var", "Me.Scene.1.var"}) {
        clock.start();
        w->packages->selectRow(w->rowOf(name));
        QVERIFY(clock.elapsed() < 5000);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
        QFile::remove(started);
    }
    clock.start();
    w.reset();
    QVERIFY(clock.elapsed() < 5000);
}

void TestInspection::contents()
{
    const QString folder = dir.path() + "/contents";
    QVERIFY(PackageFiles::create(folder + "/A.Scene.1.var", 0));
    // Pictures up to a size limit, one for JPG and one for PNG, show their own pictures.
    QMap<QString, QByteArray> members{
        {"meta.json", TestArchive::metaJson()},
        {"Custom/Images/other/x.jpg", TestArchive::picture(64, 64, "JPG", Qt::blue)},
        {"Custom/Images/y.png", TestArchive::picture(64, 64, "PNG")},
        {"Custom/at.jpg", TestArchive::paddedPicture(1023999)},
        {"Custom/over.jpg", TestArchive::paddedPicture(1024000)},
        {"Custom/at.png", TestArchive::paddedPicture(511999, "PNG")},
        {"Custom/over.png", TestArchive::paddedPicture(512000, "PNG")},
        // Pictures of more pixels than are decoded within a stop's latency.
        {"Custom/square.png", TestArchive::picture(2048, 2048, "PNG")},
        {"Custom/wide.png", TestArchive::picture(2049, 2048, "PNG")},
        {"Custom/square.jpg", TestArchive::picture(4096, 4096, "JPG")},
        {"Custom/wide.jpg", TestArchive::picture(4097, 4096, "JPG")}};
    for (const QString& name :
         QString(
             "sub/meta.json Saves/scene/Party.json Saves/scene/Party.jpg Custom/readme "
             "Custom/Atom/Person/Clothing/Preset_Red.jpg Custom/Images/x.jpg Custom/Images/x.json "
             "Custom/Atom/Person/Clothing/Preset_Red.vap custom/hair/female/Bob.JPG "
             "custom/hair/female/Bob.vam custom/hair/female/Bob.vab Custom/Sounds/x.WAV")
             .split(' ')) {
        members.insert(name, name.endsWith("jpg", Qt::CaseInsensitive) ? TestArchive::picture()
                                                                       : QByteArray("{}"));
    }
    QVERIFY(TestArchive::create(folder + "/Me.Look.1.var", members));
    ListedWindow w(folder);
    QVERIFY(w.list());
    // A second selection while the first inspection runs replaces it.
    w.packages->selectRow(w.rowOf("A.Scene.1.var"));
    w.packages->selectRow(w.rowOf("Me.Look.1.var"));

    // Items with a picture of their own come first; the blue picture shares its file name
    // with a red one in another folder.
    QStringList expected =
        QString("\u301001 Scene\u3011Saves/scene/Party. red|Custom/Images/x.jpg red|"
                "\u301004 Clothing\u3011Custom/Atom/Person/Clothing/Preset_Red. red|"
                "\u301005 Hair\u3011custom/hair/female/Bob. red|Custom/Images/y.png red|"
                "Custom/at.jpg red|Custom/at.png red|Custom/over.jpg|Custom/over.png|Custom/readme|"
                "Custom/square.png red|Custom/wide.png|Custom/square.jpg red|Custom/wide.jpg|"
                "Custom/Images/other/x.jpg|Custom/Images/x.json|Custom/Sounds/x.WAV|sub/meta.json")
            .split('|');
    expected.sort();
    QTRY_COMPARE_WITH_TIMEOUT(
        shown(w.contents).replaceInStrings(QRegularExpression(" (none|placeholder|blue)$"), ""),
        expected, waitMs);
    QCOMPARE(shown(w.contents).filter("/wide."),
             QStringList({"Custom/wide.jpg placeholder", "Custom/wide.png placeholder"}));
    // Nothing extracted stays behind but the package description.
    QTRY_COMPARE(TestFiles::tree(QCoreApplication::applicationDirPath() + "/~tmp2")
                     .filter("/")
                     .replaceInStrings(QRegularExpression("^[^/]*/"), ""),
                 QStringList{"meta.json"});
    // The option, turned on with a row selected, inspects it again with the limits of
    // a picture's pixels and of what may be written to the disk.
    w.window->findChild<QCheckBox*>("checkBox_ShowBigImg")->setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(shown(w.contents).filter(" red").size(), 11, waitMs);
    // A package that states pictures too big for the scratch folder: none goes to 7-Zip.
    const QByteArray jpg = TestArchive::picture();
    QVERIFY(RawZip::write(
        folder + "/Big.Claims.1.var",
        {{"Custom/claims.jpg", jpg, RawZip::Member::File, false, ContentKind::maxExtractedSize + 1},
         {"Custom/honest.jpg", TestArchive::paddedPicture(HVarArchive::defaultLimit + 1)}}));
    QVERIFY(w.list());
    w.packages->selectRow(w.rowOf("Big.Claims.1.var"));
    QTRY_COMPARE_WITH_TIMEOUT(shown(w.contents),
                              QStringList({"Custom/claims.jpg placeholder", "Custom/honest.jpg red"}),
                              waitMs);
}

void TestInspection::thumbnailCache_data()
{
    // The change made between the two inspections, and what the pictures show after it:
    // the JPEGs, and the PNGs (two of them, alike but for case, taken out by 7-Zip).
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("jpegsAfter");
    QTest::addColumn<QString>("pngsAfter");
    QTest::newRow("empty cache") << QString("remove") << "red" << "red";
    QTest::newRow("warm cache, no extraction") << QString("") << "red" << "red";
    QTest::newRow("cache file truncated") << QString("truncate") << "red" << "red";
    QTest::newRow("cache file garbage") << QString("garbage") << "red" << "red";
    QTest::newRow("cache entries garbage") << QString("entries") << "red" << "red";
    QTest::newRow("package changed, sizes kept") << QString("package") << "blue" << "blue";
    QTest::newRow("package replaced, size and time kept") << QString("replace") << "blue" << "blue";
    QTest::newRow("over the cap") << QString("cap") << "red" << "red";
    QTest::newRow("failed extraction") << QString("remove") << "red" << "placeholder";
    QTest::newRow("damaged JPEGs") << QString("damage") << "placeholder" << "red";
}

void TestInspection::thumbnailCache()
{
    QFETCH(QString, change);
    QFETCH(QString, jpegsAfter);
    QFETCH(QString, pngsAfter);
    // The second inspection runs a 7-Zip that lists, but fails every batch extraction.
    const bool extractionFails = QString(QTest::currentDataTag()).contains("extraction");
    const QString package = dir.path() + "/cache/" + QTest::currentDataTag() + "/P.Q.1.var";
    QVERIFY(makeColouredPackage(package, red));
    const QStringList before = inspect(package);
    QCOMPARE(before.filter(" red").size(), 72);

    const QString cacheFile = ThumbnailCache::defaultFile();
    const qint64 oldSize = QFileInfo(package).size();
    const QDateTime oldTime = QFileInfo(package).lastModified();
    if (change == "remove") {
        QVERIFY(QFile::remove(cacheFile));
    } else if (change == "truncate" || change == "garbage") {
        QVERIFY(TestFiles::write(
            cacheFile, change == "garbage"
                           ? QByteArray(100000, 'x')
                           : TestFiles::read(cacheFile).left(QFileInfo(cacheFile).size() / 2)));
    } else if (change == "entries") {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "damage");
        db.setDatabaseName(cacheFile);
        QVERIFY(db.open() && QSqlQuery(db).exec("UPDATE thumbnails SET image = randomblob(900)"));
    } else if (change == "package" || change == "replace") {
        QVERIFY(QFile::remove(package) && makeColouredPackage(package, blue));
    } else if (change == "damage") {
        // One byte of each stored JPEG changed: the archive's checksums no longer match.
        QByteArray damaged = paddedJpeg(red);
        damaged[2000] = 'x';
        QVERIFY(TestFiles::write(package,
                                 TestFiles::read(package).replace(paddedJpeg(red), damaged)));
    } else if (change == "cap") {
        ThumbnailCache small(cacheFile, 100000);
        small.store({"/other.var", 1, 1}, {{"x.jpg", 1, 0, QByteArray(90000, 'x')}});
        QCOMPARE(small.find({"/other.var", 1, 1}).size(), 1);
    }
    if (change == "package" || change == "damage" || change == "replace") {
        // As "cp -p" or "rsync -t" would keep the time of what they replace.
        QFile file(package);
        QVERIFY(file.open(QIODevice::Append) &&
                file.setFileTime(change == "replace" ? oldTime : oldTime.addSecs(10),
                                 QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(QFileInfo(package).size(), oldSize);
    }
    QSqlDatabase::removeDatabase("damage");
    const QString fake = dir.path() + "/fake7z";
    QVERIFY(TestFiles::writeScript(fake, "[ \"$1\" = x ] && exit 2\nexec '" +
                                             TestArchive::sevenZip().toUtf8() + "' \"$@\""));
    const auto sevenZip = TestFiles::scopedEnvironment(
        "DOVETALK_7Z", extractionFails ? fake : TestArchive::sevenZip());
    QStringList expected = before;
    expected.replaceInStrings(QRegularExpression("(png) red$"), "\\1 " + pngsAfter);
    expected.replaceInStrings(QRegularExpression("(\\.) red$"), "\\1 " + jpegsAfter);
    QCOMPARE(inspect(package), expected);
}

void TestInspection::stoppedInspection_data()
{
    // The progress value at which another package is selected; the thumbnails stored
    // at least.
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<int>("stored");
    // 74 members: two passes of 74 steps.
    QTest::newRow("right after the last item") << 147 << 72;
    QTest::newRow("halfway through the pictures") << 40 << 1;
}

void TestInspection::stoppedInspection()
{
    QFETCH(int, stopAt);
    QFETCH(int, stored);
    const QString package = dir.path() + "/stopped/" + QTest::currentDataTag() + "/P.Q.1.var";
    QVERIFY(makeColouredPackage(package, red));
    inspect(package, stopAt);
    // What was decoded is kept for the next visit, however soon the user moved on.
    ThumbnailCache cache;
    const int found = cache.find(ThumbnailCache::packageAt(package)).size();
    QVERIFY2(found >= stored && found <= 72, qPrintable(QString::number(found)));
}

void TestInspection::cacheFileOfOthers_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("usable"); // this run stores and finds thumbnails in it
    QTest::addColumn<QString>("message");
    QTest::newRow("newer layout") << "newer" << false << "has another layout";
    QTest::newRow("another program's database") << "foreign" << false << "has another layout";
    QTest::newRow("held by another program")
        << "held" << false << "is held by another program - this run works without it";
    QTest::newRow("no database") << "garbage" << true << "failed its integrity check";
}

void TestInspection::cacheFileOfOthers()
{
    QFETCH(QString, other);
    QFETCH(bool, usable);
    QFETCH(QString, message);
    const QString file = dir.path() + "/others/" + QTest::currentDataTag() + "/thumbnails.sqlite";
    const ThumbnailCache::Package package{"/p.var", 1, 1};
    const QVector<ThumbnailCache::Entry> entries{{"a.jpg", 1, 7, "thumbnail"}};
    QDir().mkpath(QFileInfo(file).path());
    if (other == "garbage") {
        QVERIFY(TestFiles::write(file, QByteArray(100000, 'x')));
    } else if (other == "held") {
        ThumbnailCache(file).store({"/held.var", 1, 1}, entries);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery query(db);
        if (other == "newer" || other == "foreign") {
            QVERIFY(query.exec("CREATE TABLE thumbnails(x)") &&
                    query.exec(other == "newer" ? "PRAGMA user_version=3" : "SELECT 1"));
        }
        const QByteArray before = TestFiles::read(file);
        // Another program in the middle of a write, committed only after ours gave up.
        QVERIFY(other != "held" ||
                (query.exec("BEGIN IMMEDIATE") && query.exec("UPDATE thumbnails SET used=1")));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QRegularExpression::escape(message)));
        {
            ThumbnailCache cache(file);
            cache.store(package, entries);
            QCOMPARE(cache.find(package).size(), usable ? 1 : 0);
        }
        if (other == "held") {
            QVERIFY(query.exec("COMMIT") && query.exec("SELECT used FROM thumbnails") &&
                    query.next());
            QCOMPARE(query.value(0).toInt(), 1);
            QVERIFY(QFile::exists(file + "-wal") && QFile::exists(file + "-shm"));
        } else if (other == "garbage") {
            QCOMPARE(TestFiles::read(file + ".broken"), before);
        } else {
            QCOMPARE(TestFiles::read(file), before);
        }
    }
    QSqlDatabase::removeDatabase("other");
}

QTEST_MAIN(TestInspection)
#include "tst_inspection.moc"
