#include "hvarlistitem.h"
#include "mainwindow.h"
#include "packagefiles.h"
#include "settingsstore.h"
#include "threadman.h"
#include "varfile.h"

#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const int waitMs = 20000;

QDateTime dayIn2022(int month, int day)
{
    return QDateTime(QDate(2022, month, day), QTime(10, 30, 15));
}

bool makePackage(const QString& path, qint64 size, const QDateTime& modified = dayIn2022(1, 1))
{
    return PackageFiles::create(path, size, modified);
}

bool makePackages(const QString& root, const QStringList& names)
{
    return std::all_of(names.begin(), names.end(),
                       [&root](const QString& name) { return makePackage(root + name, 1); });
}

QTableWidget* packageTable(MainWindow& window)
{
    return window.findChild<QTableWidget*>(QStringLiteral("tableWidget_Var"));
}

void pressList(MainWindow& window)
{
    window.findChild<QPushButton*>("pushButton_ListVar")->click();
}

// The end of a listing moves the sort indicator to "FileName".
bool listingComplete(MainWindow& window)
{
    return packageTable(window)->horizontalHeader()->sortIndicatorSection() == 1;
}

bool listAndWait(MainWindow& window)
{
    if (listingComplete(window)) {
        return false;
    }
    pressList(window);
    return QTest::qWaitFor([&] { return listingComplete(window); }, waitMs);
}

// The window lists the newest folder of its "Var" history.
void setListedFolder(const QString& folder)
{
    openSettingsGroup(QStringLiteral("RecentVar"))->setValue(QStringLiteral("Path1"), folder);
}

// A window that has listed `folder`; null when the listing did not complete.
std::unique_ptr<MainWindow> listedWindow(const QString& folder)
{
    setListedFolder(folder);
    auto window = std::make_unique<MainWindow>();
    return listAndWait(*window) ? std::move(window) : nullptr;
}

void clickHeader(QTableWidget* table, int column)
{
    QHeaderView* header = table->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

QStringList columnTexts(QTableWidget* table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row) {
        QTableWidgetItem* cell = table->item(row, column);
        texts.append(cell != nullptr ? cell->text() : QString());
    }
    return texts;
}

// Folders whose links fan out to 2^depth paths without a cycle, each folder with one
// package of its own.
bool makeFannedOutTree(const QString& root, int depth)
{
    for (int level = 0; level < depth; ++level) {
        const QString folder = root + QStringLiteral("/d%1").arg(level);
        const QString next = root + QStringLiteral("/d%1").arg(level + 1);
        if (!makePackage(folder + "/p.var", 1) || !QFile::link(next, folder + "/a") ||
            !QFile::link(next, folder + "/b")) {
            return false;
        }
    }
    return true;
}

// The packages of the "numbered" folder, p0000.var, p0001.var, ...: the name of each
// tells its place in the listing.
const int numberedCount = 2000;

QString numberedName(int index)
{
    return QStringLiteral("p%1.var").arg(index, 4, 10, QLatin1Char('0'));
}

} // namespace

class TestListing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rowsAndCells_data();
    void rowsAndCells();
    void headerClicks();
    void progressOfOnePackage();
    void misplacedCellsDiscarded_data();
    void misplacedCellsDiscarded();
    void selectionStopsListing();
    void stopDuringFill();
    void linksAndCycles();
    void unreadableFolder();
    void vanishingFolders();
    void nothingSent_data();
    void nothingSent();
    void closeDuringScan();
    void headerClicksDuringFill();
    void stopListing_data();
    void stopListing();

private:
    QString numbered() const { return temp.filePath(QStringLiteral("numbered")); }

    QTemporaryDir temp;
};

void TestListing::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(temp.isValid());
    for (int i = 0; i < numberedCount; ++i) {
        QVERIFY(makePackage(numbered() + QLatin1Char('/') + numberedName(i), 1));
    }
}

void TestListing::rowsAndCells_data()
{
    // However the folder is written, column 5 is relative to it.
    QTest::addColumn<QString>("suffix");
    QTest::newRow("plain") << QString();
    QTest::newRow("trailing slash") << QStringLiteral("/");
    QTest::newRow("two trailing slashes") << QStringLiteral("//");
    QTest::newRow("dot") << QStringLiteral("/./");
    QTest::newRow("up and back") << QStringLiteral("/sub/..");
}

void TestListing::rowsAndCells()
{
    QFETCH(QString, suffix);
    const QString root = temp.filePath(QStringLiteral("cells"));
    QVERIFY(makePackage(root + "/Author.Pack.3.var", 1572864, dayIn2022(11, 5)));
    QVERIFY(makePackage(root + "/big.var", 4608LL * 1024 * 1024 + 1));
    QVERIFY(makePackage(root + "/zero.var", 0));
    QVERIFY(makePackage(root + "/other/A.B.1.var", 1000));
    QVERIFY(makePackage(root + "/sub/a.b.1.var", 1000));
    QVERIFY(makePackage(root + "/other/c.d.1.var", 20));
    QVERIFY(makePackage(root + "/sub/c.d.1.var", 10));
    QVERIFY(makePackage(root + QString::fromUtf8("/Ünï cødé/Пакет.Тест 1.var"), 2097152));
    QVERIFY(makePackage(root + QString::fromUtf8("/日本 語/作者.名前.2.var"), 3145728));
    QVERIFY(makePackages(root, {"/x.VAR", "/x.var.bak", "/.var", "/sub/readme.txt"}));

    const auto window = listedWindow(root + suffix);
    QVERIFY(window);
    QTableWidget* table = packageTable(*window);
    struct Row
    {
        QString fileName, shortName, megabytes, folder;
        bool duplicate;
    };
    const QVector<Row> expected = {
        {"A.B.1.var", "B.1", "0.00", "/other/", true},
        {"a.b.1.var", "b.1", "0.00", "/sub/", true},
        {"Author.Pack.3.var", "Pack.3", "1.50", "/", false},
        {"big.var", "big", "4608.00", "/", false},
        {"c.d.1.var", "d.1", "0.00", "/other/", false},
        {"c.d.1.var", "d.1", "0.00", "/sub/", false},
        {"zero.var", "zero", "0.00", "/", false},
        {QString::fromUtf8("Пакет.Тест 1.var"), QString::fromUtf8("Тест 1"), "2.00",
         QString::fromUtf8("/Ünï cødé/"), false},
        {QString::fromUtf8("作者.名前.2.var"), QString::fromUtf8("名前.2"), "3.00",
         QString::fromUtf8("/日本 語/"), false},
    };
    QCOMPARE(table->rowCount(), expected.size());
    for (int row = 0; row < expected.size(); ++row) {
        const Row& want = expected.at(row);
        for (int column = 0; column < 6; ++column) {
            QTableWidgetItem* cell = table->item(row, column);
            QVERIFY(cell);
            QCOMPARE(cell->data(Qt::UserRole), QVariant(row));
            const bool numeric = column == 3 || column == 4;
            QCOMPARE(dynamic_cast<HVarListItem*>(cell) != nullptr, numeric);
            QCOMPARE(cell->data(Qt::TextAlignmentRole),
                     numeric ? QVariant(int(Qt::AlignRight)) : QVariant());
            const bool painted = want.duplicate && (column == 1 || column == 2);
            QCOMPARE(cell->data(Qt::BackgroundRole),
                     painted ? QVariant(QColor(255, 128, 128, 255)) : QVariant());
        }
        QCOMPARE(table->item(row, 0)->text(), QString());
        QCOMPARE(table->item(row, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(table->item(row, 1)->text(), want.fileName);
        QCOMPARE(table->item(row, 2)->text(), want.shortName);
        QCOMPARE(table->item(row, 3)->text(), want.megabytes);
        QCOMPARE(table->item(row, 5)->text(), want.folder);
    }
    QCOMPARE(table->item(2, 4)->text(), QString("2022-11-05 10:30:15"));

    auto* progress = window->findChild<QProgressBar*>("progressBar");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), expected.size() - 1);
    QCOMPARE(progress->value(), expected.size() - 1);

    // After a re-sort the cells still lead to their own package.
    clickHeader(table, 3);
    QCOMPARE(table->item(table->rowCount() - 1, 1)->text(), QString("big.var"));
    table->selectRow(table->rowCount() - 1);
    QCOMPARE(window->findChild<QLineEdit*>("lineEdit_FileFullPath")->text(), root + "/big.var");
}

void TestListing::headerClicks()
{
    const QString root = temp.filePath(QStringLiteral("header"));
    QVERIFY(makePackage(root + "/a.var", 11010048, dayIn2022(11, 2))); // 10.50
    QVERIFY(makePackage(root + "/b.var", 9437184, dayIn2022(1, 20)));  // 9.00
    QVERIFY(makePackage(root + "/c.var", 104857600, dayIn2022(3, 1))); // 100.00
    QVERIFY(makePackage(root + "/d.var", 1048576, dayIn2022(12, 31))); // 1.00
    const auto window = listedWindow(root);
    QVERIFY(window);
    QTableWidget* table = packageTable(*window);
    // The rows by their short names and the sort indicator, as in "dcba by 1 down".
    const auto shown = [table] {
        const QHeaderView* header = table->horizontalHeader();
        return QStringLiteral("%1 by %2 %3")
            .arg(columnTexts(table, 2).join(QString()))
            .arg(header->sortIndicatorSection())
            .arg(header->sortIndicatorOrder() == Qt::AscendingOrder ? "up" : "down");
    };
    const QVector<QPair<int, QString>> steps = {
        {1, "dcba by 1 down"},
        {3, "dbac by 3 up"},
        {3, "cabd by 3 down"},
        {4, "bcad by 4 up"},
        // "MB" was left for "Time": it starts again with ascending.
        {3, "dbac by 3 up"},
        {4, "bcad by 4 up"},
        // A new listing (-1) leaves "FileName" ascending.
        {-1, "abcd by 1 up"},
        {1, "dcba by 1 down"},
        // The check column sorts nothing.
        {0, "dcba by 1 down"},
        {1, "abcd by 1 up"},
    };
    for (const auto& step : steps) {
        if (step.first < 0) {
            QVERIFY(listAndWait(*window));
        } else {
            clickHeader(table, step.first);
        }
        QCOMPARE(shown(), step.second);
    }
    // The click on the check column selected its cells.
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    QCOMPARE(selected.size(), table->rowCount());
    for (QTableWidgetItem* cell : selected) {
        QCOMPARE(cell->column(), 0);
    }
}

void TestListing::progressOfOnePackage()
{
    const QString root = temp.filePath(QStringLiteral("one"));
    QVERIFY(makePackages(root, {"/only.var"}));
    const auto window = listedWindow(root);
    QVERIFY(window);
    auto* progress = window->findChild<QProgressBar*>("progressBar");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 99);
    QCOMPARE(progress->value(), 0);
    // Colouring a row that is not there changes nothing.
    QVERIFY(QMetaObject::invokeMethod(window.get(), "on_fileTableItemColor", Q_ARG(int, 1),
                                      Q_ARG(QColor, Qt::green)));
    QCOMPARE(packageTable(*window)->rowCount(), 1);
}

void TestListing::misplacedCellsDiscarded_data()
{
    QTest::addColumn<int>("tableIndex");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("unknown table") << 2 << 0 << 0;
    QTest::newRow("row past the end") << 0 << 1 << 0;
    QTest::newRow("negative row") << 0 << -1 << 0;
    QTest::newRow("column past the end") << 0 << 0 << 6;
}

void TestListing::misplacedCellsDiscarded()
{
    QFETCH(int, tableIndex);
    QFETCH(int, row);
    QFETCH(int, column);
    MainWindow window;
    QTableWidget* table = packageTable(window);
    table->setRowCount(1);
    QVERIFY(QMetaObject::invokeMethod(
        &window, "on_fillTable", Q_ARG(int, tableIndex), Q_ARG(int, row), Q_ARG(int, column),
        Q_ARG(QTableWidgetItem*, new QTableWidgetItem(QStringLiteral("stray")))));
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->columnCount(), 6);
    QVERIFY(table->findItems(QStringLiteral("stray"), Qt::MatchExactly).isEmpty());
}

void TestListing::selectionStopsListing()
{
    const QString root = numbered();
    const int count = numberedCount;
    setListedFolder(root);
    MainWindow window;
    QTableWidget* table = packageTable(window);
    // The user picks the first package as soon as its row is complete.
    QMetaObject::Connection pick;
    pick = connect(table->model(), &QAbstractItemModel::dataChanged, this,
                   [table, &pick](const QModelIndex& index) {
                       if (index.row() == 0 && index.column() == 5) {
                           disconnect(pick);
                           table->selectRow(0);
                       }
                   });
    pressList(window);
    auto* pathField = window.findChild<QLineEdit*>("lineEdit_FileFullPath");
    QTRY_COMPARE_WITH_TIMEOUT(pathField->text(), root + "/p0000.var", waitMs);
    QTest::qWait(200);
    QCOMPARE(table->rowCount(), count);
    QVERIFY(table->item(0, 5));

    // Once the inspection is done too, List runs a new listing to its end, although
    // its first step removes the selected rows.
    clickHeader(table, 3);
    QSignalSpy removed(table->model(), &QAbstractItemModel::rowsRemoved);
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (window.findChild<QPushButton*>("pushButton_ListVar")->text() == "List") {
                pressList(window);
            }
            return !removed.isEmpty();
        },
        waitMs));
    QTRY_VERIFY_WITH_TIMEOUT(listingComplete(window), waitMs);
    QCOMPARE(table->rowCount(), count);
    QVERIFY(table->item(count - 1, 5));
}

void TestListing::stopDuringFill()
{
    const QString root = temp.filePath(QStringLiteral("stop-fill"));
    for (int i = 0; i < 50; ++i) {
        QVERIFY(makePackage(root + QStringLiteral("/p%1.var").arg(i, 2, 10, QLatin1Char('0')), 1));
    }
    QTableWidget table(0, 6);
    threadMan worker;
    const int stopRow = 4;
    // On the worker thread: the stop is asked for once the cells of one row are sent.
    connect(
        &worker, &threadMan::fillTable, &table,
        [&worker](int, int row, int column, QTableWidgetItem* cell) {
            delete cell;
            if (row == stopRow && column == 5) {
                worker.busy = false;
            }
        },
        Qt::DirectConnection);
    QSignalSpy cells(&worker, &threadMan::fillTable);
    QSignalSpy progress(&worker, &threadMan::setProg);
    QSignalSpy ended(&worker, &threadMan::initTableSort);
    worker.mode = 0;
    worker.path = root;
    worker.table = &table;
    worker.startJob();
    QVERIFY(worker.wait(waitMs));
    QCoreApplication::processEvents();
    QCOMPARE(table.rowCount(), 50);
    QCOMPARE(cells.count(), (stopRow + 1) * 6);
    QCOMPARE(cells.last().at(1).toInt(), stopRow);
    QCOMPARE(progress.count(), stopRow + 2);
    QCOMPARE(progress.last(), QVariantList({stopRow, 0}));
    QCOMPARE(ended.count(), 0);
}

void TestListing::linksAndCycles()
{
#ifdef Q_OS_WIN
    QSKIP("directory links need other rights on Windows");
#endif
    const QString root = temp.filePath(QStringLiteral("links"));
    QVERIFY(makePackages(root, {"/other/b.var", "/sub/a.var"}));
    QVERIFY(QFile::link(root, root + "/sub/loop"));
    QVERIFY(QFile::link(root + "/sub", root + "/sub/self"));
    QVERIFY(QFile::link(root + "/other", root + "/sub/side"));
    QVERIFY(QFile::link(root + "/missing", root + "/sub/dangling"));
    QVERIFY(QFile::link(root + "/sub/a.var", root + "/other/a.var"));
    QVERIFY(makeFannedOutTree(root + "/fan", 40));

    // Each file once, where the walk first meets it, and so no duplicate of itself.
    const auto window = listedWindow(root);
    QVERIFY(window);
    QTableWidget* table = packageTable(*window);
    QCOMPARE(columnTexts(table, 1).mid(0, 2), QStringList({"a.var", "b.var"}));
    QCOMPARE(columnTexts(table, 1).count("p.var"), 40);
    QCOMPARE(columnTexts(table, 5).mid(0, 2), QStringList({"/other/", "/other/"}));
    QVERIFY(!table->item(0, 1)->data(Qt::BackgroundRole).isValid());
    QVERIFY(!table->item(1, 1)->data(Qt::BackgroundRole).isValid());
}

void TestListing::unreadableFolder()
{
#ifdef Q_OS_UNIX
    if (geteuid() == 0) {
        QSKIP("the superuser reads every folder");
    }
#endif
    const QString root = temp.filePath(QStringLiteral("unreadable"));
    QVERIFY(makePackages(root, {"/a/x.var", "/b/y.var", "/c/z.var"}));
    QFile::setPermissions(root + "/b", QFileDevice::Permissions());
    const auto window = listedWindow(root);
    QFile::setPermissions(root + "/b",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(window);
    QCOMPARE(columnTexts(packageTable(*window), 1), QStringList({"x.var", "z.var"}));
}

void TestListing::vanishingFolders()
{
    const QString root = temp.filePath(QStringLiteral("vanishing"));
    const int folders = 200;
    const auto folderOf = [&root](int i) { return root + QStringLiteral("/f%1").arg(i); };
    const auto nameOf = [](int i, int j) { return QStringLiteral("p%1_%2.var").arg(i).arg(j); };
    for (int i = 0; i < folders; ++i) {
        for (int j = 0; j < 3; ++j) {
            QVERIFY(makePackage(folderOf(i) + QLatin1Char('/') + nameOf(i, j), 1));
        }
    }
    setListedFolder(root);
    MainWindow window;
    pressList(window);
    // Half of the folders go while the scan walks the tree.
    for (int i = 1; i < folders; i += 2) {
        QDir(folderOf(i)).removeRecursively();
    }
    QTRY_VERIFY_WITH_TIMEOUT(listingComplete(window), waitMs);
    const QStringList names = columnTexts(packageTable(window), 1);
    for (int i = 0; i < folders; i += 2) {
        for (int j = 0; j < 3; ++j) {
            QCOMPARE(names.count(nameOf(i, j)), 1);
        }
    }
    QVERIFY(names.size() <= folders * 3);
}

void TestListing::nothingSent_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("stop");
    QTest::newRow("no packages") << QStringLiteral("empty") << false;
    QTest::newRow("missing folder") << QStringLiteral("missing") << false;
    QTest::newRow("stopped during the scan") << QStringLiteral("fanned-out") << true;
}

void TestListing::nothingSent()
{
    QFETCH(QString, folder);
    QFETCH(bool, stop);
    QVERIFY(makePackage(temp.filePath("empty/x.VAR"), 1));
    if (stop) {
        QVERIFY(makeFannedOutTree(temp.filePath(folder), 40));
    }
    QTableWidget table(3, 6);
    threadMan worker;
    QSignalSpy cells(&worker, &threadMan::fillTable);
    QSignalSpy progress(&worker, &threadMan::setProg);
    QSignalSpy ended(&worker, &threadMan::initTableSort);
    worker.mode = 0;
    worker.path = temp.filePath(folder);
    worker.table = &table;
    worker.startJob();
    if (stop) {
        // Nothing is read while the scan rebuilds the records.
        QCOMPARE(worker.filePathAt(0), QString());
        worker.stopJob();
        QVERIFY(worker.isFinished());
    } else {
        QVERIFY(worker.wait(waitMs));
    }
    QVERIFY(!worker.busy);
    QCoreApplication::processEvents();
    QCOMPARE(cells.count(), 0);
    QCOMPARE(progress.count(), 0);
    QCOMPARE(ended.count(), 0);
    QCOMPARE(table.rowCount(), 0);
    // A stopped scan keeps the records it found, readable once it has ended.
    QVERIFY(stop || worker.files.isEmpty());
    if (!worker.files.isEmpty()) {
        QCOMPARE(worker.filePathAt(0), worker.files.first()->getFullPath());
    }
    for (int stale : {-1, worker.files.size(), 1 << 30}) {
        QCOMPARE(worker.filePathAt(stale), QString());
    }
}

void TestListing::closeDuringScan()
{
    const QString root = temp.filePath(QStringLiteral("fanned-out-close"));
    QVERIFY(makeFannedOutTree(root, 40));
    setListedFolder(root);
    // The window stops the scan as it closes.
    MainWindow window;
    pressList(window);
    QTest::qWait(50);
}

void TestListing::headerClicksDuringFill()
{
    setListedFolder(numbered());
    MainWindow window;
    QTableWidget* table = packageTable(window);
    int clicks = 0;
    connect(table->model(), &QAbstractItemModel::dataChanged, this,
            [table, &clicks](const QModelIndex& index) {
                if (index.column() == 5 && index.row() % 100 == 0) {
                    clickHeader(table, 1 + clicks++ % 5);
                }
            });
    pressList(window);
    QTRY_VERIFY_WITH_TIMEOUT(listingComplete(window), waitMs);
    for (int row = 0; row < numberedCount; ++row) {
        const QTableWidgetItem* name = table->item(row, 1);
        QVERIFY(name);
        const QVariant index = name->data(Qt::UserRole);
        QCOMPARE(name->text(), numberedName(index.toInt()));
        for (int column = 0; column < 6; ++column) {
            QVERIFY(table->item(row, column));
            QCOMPARE(table->item(row, column)->data(Qt::UserRole), index);
        }
    }
    QCOMPARE(clicks, numberedCount / 100);
    // Once the rows are complete, the headers sort again.
    clickHeader(table, 1);
    QCOMPARE(table->item(0, 1)->text(), numberedName(numberedCount - 1));
}

void TestListing::stopListing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("List reads Stop") << "List";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("closing the window") << "close";
}

void TestListing::stopListing()
{
    QFETCH(QString, how);
    setListedFolder(numbered());
    auto window = std::make_unique<MainWindow>();
    auto* list = window->findChild<QPushButton*>("pushButton_ListVar");
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    pressList(*window);
    QCOMPARE(list->text(), QString("Stop"));
    if (how == "close") {
        // The cells sent meanwhile are still on their way as the window goes (a leak
        // checker tells whether they are freed).
        QThread::msleep(500);
        window.reset();
        return;
    }
    if (how == "Escape") {
        QTest::keyClick(window.get(), Qt::Key_Escape);
    } else {
        pressList(*window);
    }
    QTRY_COMPARE_WITH_TIMEOUT(list->text(), QString("List"), waitMs);
    QVERIFY(!listingComplete(*window));
    QVERIFY(!packageTable(*window)->item(numberedCount - 1, 5));
}

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
