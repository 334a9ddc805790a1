#include "listedwindow.h"
#include "messageboxcatcher.h"
#include "packagefiles.h"
#include "testarchive.h"
#include "testfiles.h"
#include "threadman.h"
#include "thumbnailcache.h"
#include "varfile.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const int waitMs = 20000;

QStringList labels(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    texts.sort();
    return texts;
}

// What the item's icon shows: the test pictures are small and red or blue, the
// placeholder pictures are not small.
QString tint(const QListWidgetItem* item)
{
    const QImage image = item->icon().pixmap(256, 256).toImage();
    if (image.isNull() || image.width() > 64) {
        return image.isNull() ? "none" : "placeholder";
    }
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    return centre.red() > centre.blue() ? "red" : "blue";
}

// Every item in list order: its label and what its icon shows.
QStringList shown(const QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->item(i)->text() + " " + tint(list->item(i));
    }
    return items;
}

bool ownPicture(const QListWidget* list, const QString& label)
{
    return shown(list).contains(label + " red");
}

// Inspects the package on a worker of its own, its content list filled into `list`.
void inspect(const QString& package, QListWidget& list)
{
    QTableWidget table;
    threadMan worker;
    worker.files.append(new varFile(QFileInfo(package)));
    worker.mode = 1;
    worker.row = 0;
    worker.table = &table;
    worker.list = &list;
    QObject::connect(&worker, &threadMan::fillTable, &table,
                     [](int, int, int, QTableWidgetItem* cell) { delete cell; });
    worker.startJob();
    QVERIFY(worker.wait(60000));
    QCoreApplication::processEvents();
}

QStringList dependencyRows(const QTableWidget* table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 3; ++column) {
            cells << (table->item(row, column) ? table->item(row, column)->text() : "-");
        }
        rows << cells.join('|');
    }
    return rows;
}

} // namespace

class TestInspection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void dependencies();
    void contents();
    void sizeLimitsAndReselection();
    void withoutSevenZip();
    void thumbnailCache_data();
    void thumbnailCache();
    void metaSizeLimit_data();
    void metaSizeLimit();
    void stopEndsSlowSevenZip();
    void scratchFolders();

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
    const QMap<QString, QString> deps{{"Creator.Package.latest", "CC BY"},
                                      {"Creator.Package.Latest", "FC"},
                                      {"Creator.Package2.latest", "PC"},
                                      {"Other.Thing.12", "CC BY-SA"},
                                      {"Other.Thing.11", ""},
                                      {"NoDots", "X"},
                                      {".Lead.Dot", "Y"}};
    QVERIFY(TestArchive::create(folder + "/Me.Scene.1.var",
                                {{"meta.json", TestArchive::metaJson(deps)}}));
    QVERIFY(PackageFiles::create(folder + "/sub/creator.package.3.var", 0));
    QVERIFY(PackageFiles::create(folder + "/Other.Thing.120.var", 0));
    QVERIFY(TestArchive::create(folder + "/No.Meta.1.var", {{"Saves/scene/a.json", "{}"}}));
    QVERIFY(TestArchive::create(folder + "/Broken.Meta.1.var", {{"meta.json", "{ not json"}}));
    QVERIFY(TestArchive::create(folder + "/Empty.Meta.1.var",
                                {{"meta.json", TestArchive::metaJson()}}));
    ListedWindow w(folder);
    QVERIFY(w.list());

    // Rows come in key order; a tick only where a listed file satisfies the name.
    const QStringList expected{".Lead.Dot|-|Y",
                               "Creator.Package.Latest|-|FC",
                               "Creator.Package.latest|\u221A|CC BY",
                               "Creator.Package2.latest|-|PC",
                               "NoDots|-|X",
                               "Other.Thing.11|-|",
                               "Other.Thing.12|\u221A|CC BY-SA"};
    // A package whose description cannot be read shows no dependencies, not those of
    // the package before it.
    for (const char* other : {"No.Meta.1.var", "Broken.Meta.1.var", "Empty.Meta.1.var"}) {
        w.packages->selectRow(w.rowOf("Me.Scene.1.var"));
        QTRY_COMPARE_WITH_TIMEOUT(dependencyRows(w.deps), expected, waitMs);
        w.packages->selectRow(w.rowOf(other));
        QTRY_COMPARE_WITH_TIMEOUT(w.deps->rowCount(), 0, waitMs);
    }
}

void TestInspection::contents()
{
    const QString folder = dir.path() + "/contents";
    const QByteArray red = TestArchive::picture();
    if (!QFile::exists(folder)) {
        QVERIFY(TestArchive::create(
            folder + "/Me.Look.1.var",
            {{"meta.json", TestArchive::metaJson()},
             {"sub/meta.json", "{}"},
             {"Saves/scene/Party.json", "{}"},
             {"Saves/scene/Party.jpg", red},
             {"Custom/Atom/Person/Clothing/Preset_Red.jpg", red},
             {"Custom/Atom/Person/Clothing/Preset_Red.vap", "{}"},
             {"custom/hair/female/Bob.JPG", red},
             {"custom/hair/female/Bob.vam", "{}"},
             {"custom/hair/female/Bob.vab", "x"},
             {"Custom/Images/x.jpg", red},
             {"Custom/Images/x.json", "{}"},
             {"Custom/Images/other/x.jpg", TestArchive::picture(64, 64, "JPG", Qt::blue)},
             {"Custom/Images/y.png", TestArchive::picture(64, 64, "PNG")},
             {"Custom/Assets/thing.assetbundle", "x"},
             {"Custom/Sounds/x.WAV", "x"},
             {"Custom/Scripts/y.cs", "x"},
             {"Custom/Scripts/y.cslist", "x"},
             {"Custom/readme", "x"}}));
    }
    ListedWindow w(folder);
    QVERIFY(w.list());
    w.packages->selectRow(w.rowOf("Me.Look.1.var"));

    // The blue picture shares its file name with a red one in another folder.
    const QStringList own{"\u301001 Scene\u3011Saves/scene/Party.",
                          "\u301004 Clothing\u3011Custom/Atom/Person/Clothing/Preset_Red.",
                          "\u301005 Hair\u3011custom/hair/female/Bob.", "Custom/Images/x.jpg",
                          "Custom/Images/y.png"};
    QStringList expected = own + QStringList{"Custom/Images/x.json",
                                             "Custom/Images/other/x.jpg",
                                             "Custom/Assets/thing.assetbundle",
                                             "Custom/Sounds/x.WAV",
                                             "Custom/Scripts/y.cs",
                                             "Custom/Scripts/y.cslist",
                                             "Custom/readme",
                                             "sub/meta.json"};
    expected.sort();
    QTRY_COMPARE_WITH_TIMEOUT(labels(w.contents), expected, waitMs);
    for (const QString& label :
         own + QStringList{"Custom/Images/other/x.jpg", "Custom/Sounds/x.WAV"}) {
        QVERIFY2(ownPicture(w.contents, label) == own.contains(label), qPrintable(label));
    }
    // Nothing extracted stays behind but the package description.
    QTRY_COMPARE(TestFiles::tree(QCoreApplication::applicationDirPath() + "/~tmp2")
                     .filter("/")
                     .replaceInStrings(QRegularExpression("^[^/]*/"), ""),
                 QStringList{"meta.json"});
}

void TestInspection::sizeLimitsAndReselection()
{
    const QString folder = dir.path() + "/limits";
    QVERIFY(TestArchive::create(folder + "/A.Scene.1.var",
                                {{"Saves/scene/one.jpg", TestArchive::picture()}}));
    const QMap<QString, int> limits{{"Custom/at.jpg", 1023999},
                                    {"Custom/over.jpg", 1024000},
                                    {"Custom/at.png", 511999},
                                    {"Custom/over.png", 512000}};
    QMap<QString, QByteArray> members;
    for (auto it = limits.cbegin(); it != limits.cend(); ++it) {
        members.insert(it.key(), TestArchive::paddedPicture(
                                     it.value(), it.key().endsWith("png") ? "PNG" : "JPG"));
    }
    QVERIFY(TestArchive::create(folder + "/B.Big.1.var", members));
    ListedWindow w(folder);
    QVERIFY(w.list());
    auto* option = w.window->findChild<QCheckBox*>("checkBox_ShowBigImg");
    option->setChecked(true); // no row selected: nothing to inspect
    QTest::qWait(200);
    QCOMPARE(w.contents->count(), 0);
    option->setChecked(false);

    // A second selection while the first inspection runs replaces it.
    w.packages->selectRow(w.rowOf("A.Scene.1.var"));
    w.packages->selectRow(w.rowOf("B.Big.1.var"));
    QTRY_COMPARE_WITH_TIMEOUT(labels(w.contents), QStringList(limits.keys()), waitMs);
    for (const QString& member : limits.keys()) {
        QVERIFY2(ownPicture(w.contents, member) == member.contains("at."), qPrintable(member));
    }
    // The option, turned on with a row selected, inspects it again without limits.
    option->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(ownPicture(w.contents, "Custom/over.jpg") &&
                                 ownPicture(w.contents, "Custom/over.png"),
                             waitMs);
}

void TestInspection::withoutSevenZip()
{
    // Nothing to show, a debug line that names what is missing, and no message box.
    const QString folder = dir.path() + "/without";
    QVERIFY(TestArchive::create(
        folder + "/Me.Scene.1.var",
        {{"meta.json", TestArchive::metaJson({{"A.B.1", "FC"}})}, {"Saves/scene/s.json", "{}"}}));
    const QString missing = dir.path() + "/no/such/7z";
    const auto sevenZip = TestFiles::scopedEnvironment("DOVETALK_7Z", missing);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^7-Zip not found: DOVETALK_7Z names no "
                                                        "program: \"" +
                                                        QRegularExpression::escape(missing)));
    MessageBoxCatcher boxes;
    ListedWindow w(folder);
    QVERIFY(w.list());
    w.contents->addItem("stale");
    w.packages->selectRow(w.rowOf("Me.Scene.1.var"));
    QTRY_COMPARE(w.contents->count(), 0);
    QCOMPARE(w.deps->rowCount(), 0);
    QVERIFY(boxes.titles.isEmpty());
}

void TestInspection::metaSizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("rows");
    QTest::newRow("under the limit") << threadMan::maxMetaSize - 1 << 1;
    QTest::newRow("at the limit") << threadMan::maxMetaSize << 0;
}

void TestInspection::metaSizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(int, rows);
    const QString folder = dir.path() + QString("/meta%1").arg(size);
    const QByteArray meta = TestArchive::metaJson({{"X.Y.1", "FC"}});
    // Blanks before the document keep it valid JSON at any size.
    QVERIFY(TestArchive::create(
        folder + "/P.Q.1.var",
        {{"meta.json", QByteArray(size - meta.size(), ' ') + meta}, {"a.json", "{}"}}));
    if (rows == 0) {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("meta.json not read"));
    }
    ListedWindow w(folder);
    QVERIFY(w.list());
    w.packages->selectRow(0);
    QTRY_COMPARE_WITH_TIMEOUT(labels(w.contents), QStringList{"a.json"}, waitMs);
    QTRY_COMPARE(w.deps->rowCount(), rows);
}

void TestInspection::stopEndsSlowSevenZip()
{
    const QString folder = dir.path() + "/slow";
    QVERIFY(PackageFiles::create(folder + "/A.One.1.var", 0));
    QVERIFY(PackageFiles::create(folder + "/B.Two.1.var", 0));
    const QString started = dir.filePath("slow started");
    QVERIFY(TestFiles::writeScript(dir.filePath("slow 7z"),
                                   "touch '" + started.toUtf8() + "'\nexec sleep 60"));
    const auto sevenZip = TestFiles::scopedEnvironment("DOVETALK_7Z", dir.filePath("slow 7z"));
    auto w = std::make_unique<ListedWindow>(folder);
    QVERIFY(w->list());
    w->packages->selectRow(0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
    QFile::remove(started);

    // Waiting for 7-Zip would take half a minute each time, until its time limit.
    QElapsedTimer clock;
    clock.start();
    w->packages->selectRow(1);
    QVERIFY(clock.elapsed() < 5000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
    clock.start();
    w.reset();
    QVERIFY(clock.elapsed() < 5000);
}

void TestInspection::scratchFolders()
{
    const QString scratch = QCoreApplication::applicationDirPath() + "/~tmp2";
    QDir(scratch).removeRecursively();
    // What a crashed instance left behind: its folder and a lock of a process that is gone.
    QProcess gone;
    gone.start(QStringLiteral("true"), QStringList());
    const QByteArray pid = QByteArray::number(gone.processId());
    QVERIFY(gone.waitForFinished());
    QVERIFY(TestFiles::write(scratch + "/instance-crashed/pictures-1/a.jpg", "x"));
    QVERIFY(TestFiles::write(scratch + "/.instance-crashed.lock", pid + "\ntst_inspection\n\n"));

    auto worker = std::make_unique<threadMan>();
    QCOMPARE(QDir(scratch).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QFileInfo(worker->tempDir).fileName()});
    QVERIFY(TestFiles::write(worker->tempDir + "/meta.json", "{}"));
    QVERIFY(TestFiles::write(worker->tempDir + "/pictures-2/b.jpg", "x"));
    {
        // Another instance running at the same time keeps to a folder of its own.
        threadMan other;
        QVERIFY(other.tempDir != worker->tempDir);
        QVERIFY(QFile::exists(worker->tempDir + "/meta.json"));
    }
    worker->clearTempDir();
    QCOMPARE(TestFiles::tree(worker->tempDir), QStringList());
    worker.reset();
    QCOMPARE(TestFiles::tree(scratch), QStringList());
}

void TestInspection::thumbnailCache_data()
{
    QTest::addColumn<QString>("change"); // made between the two inspections
    QTest::addColumn<bool>("extractionFails");
    QTest::addColumn<QString>("picturesAfter");
    QTest::newRow("empty cache") << "remove" << false << "red";
    QTest::newRow("warm cache, no extraction") << "" << true << "red";
    QTest::newRow("cache file truncated") << "truncate" << false << "red";
    QTest::newRow("cache file garbage") << "garbage" << false << "red";
    QTest::newRow("cache entries garbage") << "entries" << false << "red";
    QTest::newRow("package changed, sizes kept") << "package" << false << "blue";
    QTest::newRow("over the cap") << "cap" << false << "red";
    QTest::newRow("failed extraction") << "remove" << true << "placeholder";
}

void TestInspection::thumbnailCache()
{
    QFETCH(QString, change);
    QFETCH(bool, extractionFails);
    QFETCH(QString, picturesAfter);
    // Stored, padded to one size: only the package's time tells the colours apart.
    const auto makePackage = [](const QString& path, const QColor& color) {
        const QByteArray jpg = TestArchive::picture(64, 64, "JPG", color).leftJustified(3000, 0);
        QMap<QString, QByteArray> members{
            {"Saves/scene/A.json", "{}"},
            {"Custom/B.png", TestArchive::picture(8, 8, "PNG", color)},
            {"Custom/Sounds/c.wav", "x"}};
        // More pictures than one 7-Zip run takes and than are read ahead.
        for (int i = 0; i < 70; ++i) {
            members.insert(QString("Saves/scene/%1.jpg").arg(i), jpg);
        }
        return TestArchive::create(path, members, {"-tzip", "-mx0"});
    };
    const QString package = dir.path() + "/cache/" + QTest::currentDataTag() + "/P.Q.1.var";
    QVERIFY(makePackage(package, QColor(200, 40, 40)));
    QListWidget first;
    inspect(package, first);
    QStringList before = shown(&first);
    QCOMPARE(before.size(), 73);
    QCOMPARE(before.filter(" red").size(), 71);

    const QString cacheFile = ThumbnailCache::defaultFile();
    if (change == "remove") {
        QVERIFY(QFile::remove(cacheFile));
    } else if (change == "truncate") {
        QVERIFY(QFile::resize(cacheFile, QFileInfo(cacheFile).size() / 2));
    } else if (change == "garbage") {
        QVERIFY(TestFiles::write(cacheFile, QByteArray(100000, 'x')));
    } else if (change == "entries") {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "damage");
        db.setDatabaseName(cacheFile);
        QVERIFY(db.open() && QSqlQuery(db).exec("UPDATE thumbnails SET image = randomblob(900)"));
    } else if (change == "package") {
        const QDateTime time = QFileInfo(package).lastModified();
        const qint64 size = QFileInfo(package).size();
        QVERIFY(QFile::remove(package) && makePackage(package, QColor(40, 40, 200)));
        QFile touched(package);
        QVERIFY(touched.open(QIODevice::ReadWrite) &&
                touched.setFileTime(time.addSecs(10), QFileDevice::FileModificationTime));
        QCOMPARE(QFileInfo(package).size(), size);
    } else if (change == "cap") {
        ThumbnailCache small(cacheFile, 100000);
        const ThumbnailCache::Package other{"/other.var", 1, 1};
        small.store(other, {{"x.jpg", 1, QByteArray(90000, 'x')}});
        QVERIFY(small.storedBytes() <= 100000);
        QCOMPARE(small.find(other, {{"x.jpg", 1}}).size(), 1);
    }
    QSqlDatabase::removeDatabase("damage");
    QString sevenZip = TestArchive::sevenZip();
    if (extractionFails) { // a 7-Zip that lists, but fails every batch extraction
        const QString fake = dir.path() + "/fake7z";
        QVERIFY(TestFiles::write(fake, "#!/bin/sh\n[ \"$1\" = x ] && exit 2\nexec '" +
                                           sevenZip.toUtf8() + "' \"$@\"\n"));
        QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner);
        sevenZip = fake;
    }
    qputenv("DOVETALK_7Z", sevenZip.toUtf8());
    QListWidget second;
    inspect(package, second);
    qunsetenv("DOVETALK_7Z");
    QCOMPARE(shown(&second), before.replaceInStrings(" red", " " + picturesAfter));
}

QTEST_MAIN(TestInspection)
#include "tst_inspection.moc"
