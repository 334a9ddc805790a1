#include "mainwindow.h"
#include "packagefiles.h"
#include "settingsstore.h"
#include "testarchive.h"
#include "testfiles.h"
#include "threadman.h"
#include "thumbnailcache.h"
#include "varfile.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList labels(const QListWidget& list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) {
        texts << list.item(i)->text();
    }
    texts.sort();
    return texts;
}

// What the item's icon shows: the test pictures are small and red or blue, the
// placeholder pictures are not small.
QString tint(const QListWidgetItem* item)
{
    const QImage image = item->icon().pixmap(256, 256).toImage();
    if (image.isNull()) {
        return "none";
    }
    if (image.width() > 64) {
        return "placeholder";
    }
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    return centre.red() > centre.blue() ? "red" : "blue";
}

bool showsOwnPicture(const QListWidgetItem* item)
{
    return tint(item) == "red";
}

// Every item in list order: its label and what its icon shows.
QStringList shown(const QListWidget& list)
{
    QStringList items;
    for (int i = 0; i < list.count(); ++i) {
        items << list.item(i)->text() + " " + tint(list.item(i));
    }
    return items;
}

} // namespace

// Runs the inspection job on the worker with widgets of its own.
struct Inspector
{
    Inspector()
    {
        worker.initTableColumns(&table, 1);
        worker.table = &table;
        worker.list = &list;
        // What the window does with the cells: place them, on the GUI thread.
        QObject::connect(&worker, &threadMan::fillTable, &table,
                         [this](int, int row, int column, QTableWidgetItem* item) {
                             table.setItem(row, column, item);
                         });
    }
    void addPackage(const QString& path) { worker.files.append(new varFile(QFileInfo(path))); }
    void inspect(int index, bool showBigImg = false)
    {
        worker.mode = 1;
        worker.row = index;
        worker.showBigImg = showBigImg;
        worker.startJob();
        QVERIFY(worker.wait(60000));
        QCoreApplication::processEvents(); // delivers the queued widget changes
    }
    QString cell(int row, int column) const
    {
        const QTableWidgetItem* item = table.item(row, column);
        return item ? item->text() : QString("<none>");
    }
    QTableWidget table;
    QListWidget list;
    threadMan worker;
};

class TestInspection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void dependencies();
    void failedLoadEmptiesTable();
    void contents();
    void sizeLimits_data();
    void sizeLimits();
    void progressCoversBothPasses();
    void thumbnailCache_data();
    void thumbnailCache();
    void inWindow();
    void metaSizeLimit_data();
    void metaSizeLimit();
    void stopEndsSlowSevenZip();

private:
    QTemporaryDir dir;
};

void TestInspection::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    if (TestArchive::sevenZip().isEmpty()) {
        QSKIP("7-Zip is not installed");
    }
}

void TestInspection::dependencies()
{
    const QString folder = dir.path() + "/deps";
    const QString package = folder + "/Me.Scene.1.var";
    const QMap<QString, QString> deps{{"Creator.Package.latest", "CC BY"},
                                      {"Creator.Package.Latest", "FC"},
                                      {"Creator.Package2.latest", "PC"},
                                      {"Other.Thing.12", "CC BY-SA"},
                                      {"Other.Thing.11", ""},
                                      {"NoDots", "X"},
                                      {".Lead.Dot", "Y"}};
    QVERIFY(TestArchive::create(package, {{"meta.json", TestArchive::metaJson(deps)}}));
    QVERIFY(PackageFiles::create(folder + "/sub/creator.package.3.var", 0));
    QVERIFY(PackageFiles::create(folder + "/Other.Thing.120.var", 0));

    Inspector inspector;
    // In the listing's order: by name, ignoring case.
    inspector.addPackage(folder + "/sub/creator.package.3.var");
    inspector.addPackage(package);
    inspector.addPackage(folder + "/Other.Thing.120.var");
    inspector.inspect(1);

    // Rows come in key order; a tick only where a listed file satisfies the name.
    const QList<QStringList> expected{
        {".Lead.Dot", "<none>", "Y"},
        {"Creator.Package.Latest", "<none>", "FC"},
        {"Creator.Package.latest", "\u221A", "CC BY"},
        {"Creator.Package2.latest", "<none>", "PC"},
        {"NoDots", "<none>", "X"},
        {"Other.Thing.11", "<none>", ""},
        {"Other.Thing.12", "\u221A", "CC BY-SA"},
    };
    QCOMPARE(inspector.table.rowCount(), expected.size());
    for (int row = 0; row < expected.size(); ++row) {
        const QStringList shown{inspector.cell(row, 0), inspector.cell(row, 1),
                                inspector.cell(row, 2)};
        QCOMPARE(shown, expected.at(row));
    }
    QCOMPARE(inspector.table.item(2, 1)->textAlignment(), int(Qt::AlignCenter));
}

void TestInspection::failedLoadEmptiesTable()
{
    const QString good = dir.path() + "/fail/A.Good.1.var";
    const QString none = dir.path() + "/fail/B.NoMeta.1.var";
    const QString broken = dir.path() + "/fail/C.Broken.1.var";
    const QString empty = dir.path() + "/fail/D.Empty.1.var";
    QVERIFY(TestArchive::create(good, {{"meta.json", TestArchive::metaJson({{"X.Y.1", "FC"}})}}));
    QVERIFY(TestArchive::create(none, {{"Saves/scene/a.json", "{}"}}));
    QVERIFY(TestArchive::create(broken, {{"meta.json", "{ not json"}}));
    QVERIFY(TestArchive::create(empty, {{"meta.json", TestArchive::metaJson()}}));
    Inspector inspector;
    for (const QString& path : {good, none, broken, empty}) {
        inspector.addPackage(path);
    }
    for (int index : {1, 2, 3}) {
        inspector.inspect(0);
        QCOMPARE(inspector.table.rowCount(), 1);
        inspector.inspect(index);
        QCOMPARE(inspector.table.rowCount(), 0);
    }
}

void TestInspection::contents()
{
    const QString package = dir.path() + "/contents/Me.Look.1.var";
    const QByteArray red = TestArchive::jpeg();
    if (!QFile::exists(package)) {
        QVERIFY(TestArchive::create(
            package, {{"meta.json", TestArchive::metaJson()},
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
    Inspector inspector;
    inspector.addPackage(package);
    inspector.inspect(0);

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
    QCOMPARE(labels(inspector.list), expected);
    for (const QString& label :
         own + QStringList{"Custom/Images/other/x.jpg", "Custom/Sounds/x.WAV"}) {
        const QListWidgetItem* item = inspector.list.findItems(label, Qt::MatchExactly).value(0);
        QVERIFY2(item && showsOwnPicture(item) == own.contains(label), qPrintable(label));
        QCOMPARE(item->toolTip(), label);
    }

    // Nothing extracted stays behind but the package description.
    QCOMPARE(TestFiles::tree(inspector.worker.tempDir), QStringList{"meta.json"});
}

void TestInspection::sizeLimits_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("showBigImg");
    QTest::addColumn<bool>("extracted");
    QTest::newRow("jpg at limit") << "Custom/a.jpg" << 1023999 << false << true;
    QTest::newRow("jpg over limit") << "Custom/a.jpg" << 1024000 << false << false;
    QTest::newRow("jpg over limit, big images") << "Custom/a.jpg" << 1024000 << true << true;
    QTest::newRow("png at limit") << "Custom/a.png" << 511999 << false << true;
    QTest::newRow("png over limit") << "Custom/a.png" << 512000 << false << false;
    QTest::newRow("png over limit, big images") << "Custom/a.png" << 512000 << true << true;
}

void TestInspection::sizeLimits()
{
    QFETCH(QString, member);
    QFETCH(int, size);
    QFETCH(bool, showBigImg);
    QFETCH(bool, extracted);
    const QString package =
        dir.path() + QString("/limits/%1.%2.var").arg(QFileInfo(member).suffix()).arg(size);
    if (!QFile::exists(package)) {
        QVERIFY(TestArchive::create(
            package,
            {{member, TestArchive::paddedPicture(size, member.endsWith("png") ? "PNG" : "JPG")}}));
    }
    Inspector inspector;
    inspector.addPackage(package);
    inspector.inspect(0, showBigImg);
    QCOMPARE(inspector.list.count(), 1);
    QCOMPARE(inspector.list.item(0)->text(), member);
    QCOMPARE(showsOwnPicture(inspector.list.item(0)), extracted);
    QVERIFY(!inspector.list.item(0)->icon().isNull());
}

void TestInspection::progressCoversBothPasses()
{
    const QString package = dir.path() + "/progress/P.Q.1.var";
    QVERIFY(TestArchive::create(package, {{"a.json", "{}"}, {"b.wav", "x"}, {"c.jpg", "x"}}));
    Inspector inspector;
    inspector.addPackage(package);
    QSignalSpy progress(&inspector.worker, &threadMan::setProg);
    inspector.inspect(0);
    QCOMPARE(progress.count(), 1 + 2 * 3);
    QCOMPARE(progress.first(), (QList<QVariant>{0, 5}));
    QCOMPARE(progress.last(), (QList<QVariant>{5, 0}));
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
    Inspector first;
    first.addPackage(package);
    first.inspect(0);
    QStringList before = shown(first.list);
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
    Inspector second;
    second.addPackage(package);
    second.inspect(0);
    qunsetenv("DOVETALK_7Z");
    QCOMPARE(shown(second.list), before.replaceInStrings(" red", " " + picturesAfter));
}

void TestInspection::inWindow()
{
    const QString folder = dir.path() + "/window";
    QVERIFY(TestArchive::create(folder + "/A.First.1.var",
                                {{"meta.json", TestArchive::metaJson({{"X.Y.1", "FC"}})},
                                 {"Saves/scene/one.jpg", TestArchive::jpeg()}}));
    QVERIFY(TestArchive::create(
        folder + "/B.Second.1.var",
        {{"meta.json", TestArchive::metaJson({{"P.Q.1", "PC"}, {"P.R.1", "PC"}})},
         {"Saves/scene/two.jpg", TestArchive::jpeg()},
         {"Saves/scene/two.json", "{}"}}));
    QVERIFY(TestArchive::create(folder + "/C.Big.1.var",
                                {{"Custom/big.jpg", TestArchive::paddedPicture(1100000)}}));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
    openSettingsGroup("RecentVar")->setValue("Path1", folder);

    MainWindow window;
    auto* packages = window.findChild<QTableWidget*>("tableWidget_Var");
    auto* deps = window.findChild<QTableWidget*>("tableWidget_Depend");
    auto* contents = window.findChild<QListWidget*>("listWidget_InVar");
    auto* option = window.findChild<QCheckBox*>("checkBox_ShowBigImg");
    QTest::mouseClick(window.findChild<QPushButton*>("pushButton_ListVar"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(packages->rowCount() == 3 && packages->item(2, 5) != nullptr, 10000);

    option->setChecked(true); // no row selected: nothing to inspect
    QTest::qWait(200);
    QCOMPARE(contents->count(), 0);

    // A second selection while the first inspection runs replaces it.
    packages->selectRow(0);
    packages->selectRow(1);
    QCOMPARE(window.findChild<QLineEdit*>("lineEdit_FileFullPath")->text(),
             folder + "/B.Second.1.var");
    QTRY_COMPARE_WITH_TIMEOUT(labels(*contents),
                              QStringList{"\u301001 Scene\u3011Saves/scene/two."}, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(deps->rowCount(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(deps->item(1, 0) ? deps->item(1, 0)->text() : QString(),
                              QString("P.R.1"), 10000);

    // The option, turned off with a row selected, inspects it again within the limits.
    packages->selectRow(2);
    QTRY_VERIFY_WITH_TIMEOUT(contents->count() == 1 && showsOwnPicture(contents->item(0)), 20000);
    option->setChecked(false);
    QTRY_VERIFY_WITH_TIMEOUT(contents->count() == 1 && !showsOwnPicture(contents->item(0)), 20000);
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
    const QString package = dir.path() + QString("/meta/P.Q.%1.var").arg(size);
    const QByteArray meta = TestArchive::metaJson({{"X.Y.1", "FC"}});
    // Blanks before the document keep it valid JSON at any size.
    QVERIFY(TestArchive::create(
        package, {{"meta.json", QByteArray(size - meta.size(), ' ') + meta}, {"a.json", "{}"}}));
    Inspector inspector;
    inspector.addPackage(package);
    if (rows == 0) {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("meta.json not read"));
    }
    inspector.inspect(0);
    QCOMPARE(inspector.table.rowCount(), rows);
    QCOMPARE(QFileInfo::exists(inspector.worker.tempDir + "/meta.json"), rows > 0);
    QCOMPARE(labels(inspector.list), QStringList{"a.json"});
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
    openSettingsGroup("RecentVar")->setValue("Path1", folder);

    auto window = std::make_unique<MainWindow>();
    auto* packages = window->findChild<QTableWidget*>("tableWidget_Var");
    QTest::mouseClick(window->findChild<QPushButton*>("pushButton_ListVar"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(packages->rowCount() == 2 && packages->item(1, 5) != nullptr, 10000);
    packages->selectRow(0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
    QFile::remove(started);

    // Waiting for 7-Zip would take half a minute each time, until its time limit.
    QElapsedTimer clock;
    clock.start();
    packages->selectRow(1);
    QVERIFY(clock.elapsed() < 5000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
    clock.start();
    window.reset();
    QVERIFY(clock.elapsed() < 5000);
}

QTEST_MAIN(TestInspection)
#include "tst_inspection.moc"
