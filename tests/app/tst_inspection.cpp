#include "mainwindow.h"
#include "packagefiles.h"
#include "settingsstore.h"
#include "testarchive.h"
#include "threadman.h"
#include "varfile.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray metaJson(const QJsonObject& dependencies)
{
    return QJsonDocument(QJsonObject{{"dependencies", dependencies}}).toJson();
}

QJsonObject licence(const QString& type)
{
    return QJsonObject{{"licenseType", type}};
}

QStringList labels(const QListWidget& list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) {
        texts << list.item(i)->text();
    }
    texts.sort();
    return texts;
}

// Whether the item's icon is mostly red: the test pictures are red, the
// placeholder pictures are not.
bool showsOwnPicture(const QListWidgetItem* item)
{
    const QImage image = item->icon().pixmap(256, 256).toImage();
    if (image.isNull()) {
        return false;
    }
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    return centre.red() > 150 && centre.blue() < 100;
}

QListWidgetItem* itemLabelled(const QListWidget& list, const QString& label)
{
    for (int i = 0; i < list.count(); ++i) {
        if (list.item(i)->text() == label) {
            return list.item(i);
        }
    }
    return nullptr;
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
    void contents_data();
    void contents();
    void sizeLimits_data();
    void sizeLimits();
    void progressCoversBothPasses();
    void hostilePackagesEnd_data();
    void hostilePackagesEnd();
    void selectionInspectsRow();
    void toggleOption();

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
    QJsonObject deps{{"Creator.Package.latest", licence("CC BY")},
                     {"Creator.Package.Latest", licence("FC")},
                     {"Creator.Package2.latest", licence("PC")},
                     {"Other.Thing.12", licence("CC BY-SA")},
                     {"Other.Thing.11", QJsonObject{}},
                     {"NoDots", licence("X")},
                     {".Lead.Dot", licence("Y")}};
    QVERIFY(TestArchive::create(package, {{"meta.json", metaJson(deps)}}));
    QVERIFY(PackageFiles::create(folder + "/sub/creator.package.3.var", 0));
    QVERIFY(PackageFiles::create(folder + "/Other.Thing.120.var", 0));

    Inspector inspector;
    inspector.addPackage(package);
    inspector.addPackage(folder + "/sub/creator.package.3.var");
    inspector.addPackage(folder + "/Other.Thing.120.var");
    std::sort(inspector.worker.files.begin(), inspector.worker.files.end(),
              [](const varFile* a, const varFile* b) { return a->compareName(*b) < 0; });
    const int index =
        int(std::find_if(inspector.worker.files.cbegin(), inspector.worker.files.cend(),
                         [](const varFile* f) { return f->getFileName() == "Me.Scene.1.var"; }) -
            inspector.worker.files.cbegin());
    inspector.inspect(index);

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
    QVERIFY(TestArchive::create(good, {{"meta.json", metaJson({{"X.Y.1", licence("FC")}})}}));
    QVERIFY(TestArchive::create(none, {{"Saves/scene/a.json", "{}"}}));
    QVERIFY(TestArchive::create(broken, {{"meta.json", "{ not json"}}));
    QVERIFY(TestArchive::create(empty, {{"meta.json", metaJson({})}}));
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

void TestInspection::contents_data()
{
    QTest::addColumn<bool>("oneRun");
    QTest::newRow("one 7-Zip run") << true;
    QTest::newRow("a run per picture") << false;
}

void TestInspection::contents()
{
    QFETCH(bool, oneRun);
    const QString package = dir.path() + "/contents/Me.Look.1.var";
    const QByteArray red = TestArchive::jpeg();
    if (!QFile::exists(package)) {
        QVERIFY(TestArchive::create(
            package, {{"meta.json", metaJson({})},
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
    inspector.worker.extractInOneRun = oneRun;
    inspector.addPackage(package);
    inspector.inspect(0);

    const QStringList categorised{"\u301001 Scene\u3011Saves/scene/Party.",
                                  "\u301004 Clothing\u3011Custom/Atom/Person/Clothing/Preset_Red.",
                                  "\u301005 Hair\u3011custom/hair/female/Bob."};
    QStringList expected = categorised;
    expected << QStringList{"Custom/Images/x.jpg",
                            "Custom/Images/x.json",
                            "Custom/Images/other/x.jpg",
                            "Custom/Images/y.png",
                            "Custom/Assets/thing.assetbundle",
                            "Custom/Sounds/x.WAV",
                            "Custom/Scripts/y.cs",
                            "Custom/Scripts/y.cslist",
                            "Custom/readme",
                            "sub/meta.json"};
    expected.sort();
    QCOMPARE(labels(inspector.list), expected);
    for (const QString& own :
         categorised + QStringList{"Custom/Images/x.jpg", "Custom/Images/y.png"}) {
        const QListWidgetItem* item = itemLabelled(inspector.list, own);
        QVERIFY2(item && showsOwnPicture(item), qPrintable(own));
        QCOMPARE(item->toolTip(), own);
    }
    // Same file name in another folder: its own picture, not the other one's.
    QVERIFY(!showsOwnPicture(itemLabelled(inspector.list, "Custom/Images/other/x.jpg")));
    QVERIFY(!showsOwnPicture(itemLabelled(inspector.list, "Custom/Sounds/x.WAV")));

    // Nothing extracted stays behind but the package description.
    const QStringList left =
        QDir(inspector.worker.tempDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(left, QStringList{"meta.json"});
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
    const QByteArray bytes =
        TestArchive::paddedPicture(size, member.endsWith("png") ? "PNG" : "JPG");
    if (!QFile::exists(package)) {
        QVERIFY(TestArchive::create(package, {{member, bytes}}));
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

void TestInspection::hostilePackagesEnd_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("encrypted") << "encrypted";
    QTest::newRow("not a zip") << "garbage";
}

void TestInspection::hostilePackagesEnd()
{
    QFETCH(QString, kind);
    const QString package = dir.path() + "/hostile/" + kind + ".var";
    QDir().mkpath(QFileInfo(package).path());
    if (kind == "encrypted") {
        QVERIFY(TestArchive::create(package,
                                    {{"meta.json", metaJson({{"A.B.1", licence("FC")}})},
                                     {"Saves/scene/s.jpg", TestArchive::jpeg()}},
                                    {"-tzip", "-pSECRET"}));
    } else {
        QFile file(package);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'q'));
    }
    Inspector inspector;
    inspector.list.addItem("stale");
    inspector.table.setRowCount(2);
    inspector.addPackage(package);
    QElapsedTimer clock;
    clock.start();
    inspector.inspect(0);
    QVERIFY(clock.elapsed() < 30000);
    QCOMPARE(inspector.table.rowCount(), 0);
    QVERIFY(!labels(inspector.list).contains("stale"));
}

void TestInspection::selectionInspectsRow()
{
    const QString folder = dir.path() + "/window";
    QVERIFY(TestArchive::create(folder + "/A.First.1.var",
                                {{"meta.json", metaJson({{"X.Y.1", licence("FC")}})},
                                 {"Saves/scene/one.jpg", TestArchive::jpeg()}}));
    QVERIFY(TestArchive::create(
        folder + "/B.Second.1.var",
        {{"meta.json", metaJson({{"P.Q.1", licence("PC")}, {"P.R.1", licence("PC")}})},
         {"Saves/scene/two.jpg", TestArchive::jpeg()},
         {"Saves/scene/two.json", "{}"}}));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
    openSettingsGroup("RecentVar")->setValue("Path1", folder);

    MainWindow window;
    auto* packages = window.findChild<QTableWidget*>("tableWidget_Var");
    auto* deps = window.findChild<QTableWidget*>("tableWidget_Depend");
    auto* contents = window.findChild<QListWidget*>("listWidget_InVar");
    QTest::mouseClick(window.findChild<QPushButton*>("pushButton_ListVar"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(packages->rowCount(), 2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(packages->item(1, 5) != nullptr, 10000);

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
}

void TestInspection::toggleOption()
{
    const QString folder = dir.path() + "/toggle";
    QVERIFY(TestArchive::create(folder + "/A.Big.1.var",
                                {{"Custom/big.jpg", TestArchive::paddedPicture(1100000)}}));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
    openSettingsGroup("RecentVar")->setValue("Path1", folder);

    MainWindow window;
    auto* packages = window.findChild<QTableWidget*>("tableWidget_Var");
    auto* contents = window.findChild<QListWidget*>("listWidget_InVar");
    auto* option = window.findChild<QCheckBox*>("checkBox_ShowBigImg");
    QTest::mouseClick(window.findChild<QPushButton*>("pushButton_ListVar"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(packages->item(0, 5) != nullptr, 10000);

    option->setChecked(true); // no row selected: nothing to inspect
    QTest::qWait(200);
    QCOMPARE(contents->count(), 0);

    packages->selectRow(0);
    QTRY_COMPARE_WITH_TIMEOUT(contents->count(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(showsOwnPicture(contents->item(0)), 20000);
    option->setChecked(false);
    QTRY_VERIFY_WITH_TIMEOUT(contents->count() == 1 && !showsOwnPicture(contents->item(0)), 20000);
}

QTEST_MAIN(TestInspection)
#include "tst_inspection.moc"
