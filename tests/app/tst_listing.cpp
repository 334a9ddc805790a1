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

#include <atomic>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const int waitMs = 20000;

struct Row
{
    QString fileName;
    QString shortName;
    QString megabytes;
    QString folder;
    bool duplicate;
};

QDateTime dayIn2022(int month, int day)
{
    return QDateTime(QDate(2022, month, day), QTime(10, 30, 15));
}

bool makePackage(const QString& path, qint64 size, const QDateTime& modified = dayIn2022(1, 1))
{
    return PackageFiles::create(path, size, modified);
}

// The window lists the newest folder of its "Var" history.
void setListedFolder(const QString& folder)
{
    const auto recent = openSettingsGroup(QStringLiteral("RecentVar"));
    recent->remove(QString());
    recent->setValue(QStringLiteral("Path1"), folder);
}

QTableWidget* packageTable(MainWindow& window)
{
    return window.findChild<QTableWidget*>(QStringLiteral("tableWidget_Var"));
}

template <typename T> T* child(MainWindow& window, const char* name)
{
    return window.findChild<T*>(QLatin1String(name));
}

void pressList(MainWindow& window)
{
    child<QPushButton>(window, "pushButton_ListVar")->click();
}

// A listing is complete once the window has handled its end: the sort indicator
// moves to "FileName".
bool listingComplete(MainWindow& window)
{
    return packageTable(window)->horizontalHeader()->sortIndicatorSection() == 1;
}

bool listAndWait(MainWindow& window)
{
    pressList(window);
    return QTest::qWaitFor([&] { return listingComplete(window); }, waitMs);
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

// Folders whose links nest 2^depth paths deep without a cycle: a scan of it goes on
// until it is asked to stop.
bool makeEndlessTree(const QString& root, int depth)
{
    for (int level = 0; level < depth; ++level) {
        const QString folder = root + QStringLiteral("/d%1").arg(level);
        if (!QDir().mkpath(folder) || !makePackage(folder + QStringLiteral("/p.var"), 1)) {
            return false;
        }
        for (const char* link : {"/a", "/b"}) {
            if (!QFile::link(root + QStringLiteral("/d%1").arg(level + 1), folder + link)) {
                return false;
            }
        }
    }
    return QDir().mkpath(root + QStringLiteral("/d%1").arg(depth));
}

} // namespace

class TestListing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rowsAndCells();
    void relativeFolder_data();
    void relativeFolder();
    void headerClicks();
    void progressOfOnePackage();
    void colourRows();
    void misplacedCellsDiscarded_data();
    void misplacedCellsDiscarded();
    void listTwiceStartsOnce();
    void selectionStopsListing();
    void stopDuringFill();
    void linksAndCycles();
    void unreadableFolder();
    void vanishingFolders();
    void nothingToList_data();
    void nothingToList();
    void stopDuringScan();
    void closeDuringScan();
    void filePathAtRefusesBadIndex();

private:
    QTemporaryDir temp;
};

void TestListing::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(temp.isValid());
}

void TestListing::rowsAndCells()
{
    const QString root = temp.filePath(QStringLiteral("cells"));
    const qint64 bigSize = 4608LL * 1024 * 1024 + 1;
    QVERIFY(makePackage(root + "/Author.Pack.3.var", 1572864, dayIn2022(11, 5)));
    QVERIFY(makePackage(root + "/big.var", bigSize));
    QVERIFY(makePackage(root + "/zero.var", 0));
    QVERIFY(makePackage(root + "/other/A.B.1.var", 1000));
    QVERIFY(makePackage(root + "/sub/a.b.1.var", 1000));
    QVERIFY(makePackage(root + "/other/c.d.1.var", 20));
    QVERIFY(makePackage(root + "/sub/c.d.1.var", 10));
    QVERIFY(makePackage(root + QString::fromUtf8("/Ünï cødé/Пакет.Тест 1.var"), 2097152));
    QVERIFY(makePackage(root + QString::fromUtf8("/日本 語/作者.名前.2.var"), 3145728));
    for (const char* skipped : {"/x.VAR", "/x.var.bak", "/.var", "/sub/readme.txt"}) {
        QVERIFY(makePackage(root + skipped, 5));
    }
    QCOMPARE(QFileInfo(root + "/big.var").size(), bigSize);

    setListedFolder(root);
    MainWindow window;
    QTableWidget* table = packageTable(window);
    QVERIFY(!listingComplete(window));
    QVERIFY(listAndWait(window));

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
    const QColor duplicateColor(255, 128, 128, 255);
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
                     painted ? QVariant(duplicateColor) : QVariant());
        }
        QCOMPARE(table->item(row, 0)->text(), QString());
        QCOMPARE(table->item(row, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(table->item(row, 1)->text(), want.fileName);
        QCOMPARE(table->item(row, 2)->text(), want.shortName);
        QCOMPARE(table->item(row, 3)->text(), want.megabytes);
        QCOMPARE(table->item(row, 5)->text(), want.folder);
    }
    QCOMPARE(table->item(2, 4)->text(), QString("2022-11-05 10:30:15"));
    QCOMPARE(table->item(3, 4)->text(), QString("2022-01-01 10:30:15"));

    auto* progress = child<QProgressBar>(window, "progressBar");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), expected.size() - 1);
    QCOMPARE(progress->value(), expected.size() - 1);

    // After a re-sort the cells still lead to their own package.
    clickHeader(table, 3);
    QCOMPARE(table->item(table->rowCount() - 1, 1)->text(), QString("big.var"));
    table->selectRow(table->rowCount() - 1);
    QCOMPARE(child<QLineEdit>(window, "lineEdit_FileFullPath")->text(), root + "/big.var");
}

void TestListing::relativeFolder_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("plain") << QString();
    QTest::newRow("trailing slash") << QStringLiteral("/");
    QTest::newRow("two trailing slashes") << QStringLiteral("//");
    QTest::newRow("dot") << QStringLiteral("/./");
    QTest::newRow("up and back") << QStringLiteral("/sub/..");
}

void TestListing::relativeFolder()
{
    QFETCH(QString, suffix);
    const QString root = temp.filePath(QStringLiteral("relative"));
    QVERIFY(makePackage(root + "/a.var", 1));
    QVERIFY(makePackage(root + "/sub/b.var", 1));
    QVERIFY(makePackage(root + "/sub/deeper/c.var", 1));

    setListedFolder(root + suffix);
    MainWindow window;
    QTableWidget* table = packageTable(window);
    QVERIFY(listAndWait(window));
    QCOMPARE(columnTexts(table, 1), QStringList({"a.var", "b.var", "c.var"}));
    QCOMPARE(columnTexts(table, 5), QStringList({"/", "/sub/", "/sub/deeper/"}));
}

void TestListing::headerClicks()
{
    const QString root = temp.filePath(QStringLiteral("header"));
    QVERIFY(makePackage(root + "/a.var", 11010048, dayIn2022(11, 2))); // 10.50
    QVERIFY(makePackage(root + "/b.var", 9437184, dayIn2022(1, 20)));  // 9.00
    QVERIFY(makePackage(root + "/c.var", 104857600, dayIn2022(3, 1))); // 100.00
    QVERIFY(makePackage(root + "/d.var", 1048576, dayIn2022(12, 31))); // 1.00

    setListedFolder(root);
    MainWindow window;
    QTableWidget* table = packageTable(window);
    QHeaderView* header = table->horizontalHeader();
    QVERIFY(listAndWait(window));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    const QStringList byName{"a.var", "b.var", "c.var", "d.var"};
    const QStringList byNameDown{"d.var", "c.var", "b.var", "a.var"};
    QCOMPARE(columnTexts(table, 1), byName);
    clickHeader(table, 1);
    QCOMPARE(columnTexts(table, 1), byNameDown);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

    clickHeader(table, 3);
    QCOMPARE(columnTexts(table, 3), QStringList({"1.00", "9.00", "10.50", "100.00"}));
    QVERIFY(table->selectedItems().isEmpty());
    QCOMPARE(header->sortIndicatorSection(), 3);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader(table, 3);
    QCOMPARE(columnTexts(table, 3), QStringList({"100.00", "10.50", "9.00", "1.00"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

    clickHeader(table, 4);
    QCOMPARE(columnTexts(table, 1), QStringList({"b.var", "c.var", "a.var", "d.var"}));
    QCOMPARE(header->sortIndicatorSection(), 4);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // "MB" was left for "Time": it starts again with ascending.
    clickHeader(table, 3);
    QCOMPARE(columnTexts(table, 3), QStringList({"1.00", "9.00", "10.50", "100.00"}));

    // A new listing leaves "FileName" ascending: the next click sorts it descending.
    clickHeader(table, 4);
    QVERIFY(listAndWait(window));
    QCOMPARE(columnTexts(table, 1), byName);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader(table, 1);
    QCOMPARE(columnTexts(table, 1), byNameDown);

    // The check column selects its cells and sorts nothing.
    clickHeader(table, 0);
    QCOMPARE(columnTexts(table, 1), byNameDown);
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    QCOMPARE(selected.size(), table->rowCount());
    for (QTableWidgetItem* cell : selected) {
        QCOMPARE(cell->column(), 0);
    }
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(table, 1);
    QCOMPARE(columnTexts(table, 1), byName);
}

void TestListing::progressOfOnePackage()
{
    const QString root = temp.filePath(QStringLiteral("one"));
    QVERIFY(makePackage(root + "/only.var", 1));
    setListedFolder(root);
    MainWindow window;
    QVERIFY(listAndWait(window));
    auto* progress = child<QProgressBar>(window, "progressBar");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 99);
    QCOMPARE(progress->value(), 0);
    QCOMPARE(packageTable(window)->rowCount(), 1);
}

void TestListing::colourRows()
{
    const QString root = temp.filePath(QStringLiteral("colour"));
    QVERIFY(makePackage(root + "/a/x.var", 1));
    QVERIFY(makePackage(root + "/b/x.var", 1));
    setListedFolder(root);
    MainWindow window;
    QTableWidget* table = packageTable(window);
    QVERIFY(listAndWait(window));
    table->item(1, 0)->setCheckState(Qt::Checked);

    const QColor moved(100, 200, 100);
    QVERIFY(QMetaObject::invokeMethod(&window, "on_fileTableItemColor", Q_ARG(int, 1),
                                      Q_ARG(QColor, moved)));
    QCOMPARE(table->item(1, 0)->checkState(), Qt::Unchecked);
    for (int column = 0; column < 6; ++column) {
        QCOMPARE(table->item(1, column)->background().color(), moved);
    }
    QCOMPARE(table->item(0, 1)->background().color(), QColor(255, 128, 128));
    // A row that is not there is skipped.
    QVERIFY(QMetaObject::invokeMethod(&window, "on_fileTableItemColor", Q_ARG(int, 7),
                                      Q_ARG(QColor, moved)));
    QCOMPARE(table->rowCount(), 2);
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
    setListedFolder(QString());
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

void TestListing::listTwiceStartsOnce()
{
    const QString root = temp.filePath(QStringLiteral("twice"));
    for (int i = 0; i < 300; ++i) {
        QVERIFY(makePackage(root + QStringLiteral("/f%1/p%2.var").arg(i % 10).arg(i), i));
    }
    setListedFolder(root);
    MainWindow window;
    QTableWidget* table = packageTable(window);
    QSignalSpy inserted(table->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(table->model(), &QAbstractItemModel::rowsRemoved);
    pressList(window);
    QVERIFY(listAndWait(window));
    QTest::qWait(100);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(table->rowCount(), 300);
}

void TestListing::selectionStopsListing()
{
    const QString root = temp.filePath(QStringLiteral("select"));
    const int count = 3000;
    for (int i = 0; i < count; ++i) {
        QVERIFY(makePackage(root + QStringLiteral("/p%1.var").arg(i, 4, 10, QLatin1Char('0')), 1));
    }
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
    auto* pathField = child<QLineEdit>(window, "lineEdit_FileFullPath");
    QTRY_COMPARE_WITH_TIMEOUT(pathField->text(), root + "/p0000.var", waitMs);
    QTest::qWait(200);
    QCOMPARE(table->rowCount(), count);
    QVERIFY(table->item(0, 5));

    // The listing has ended: once the inspection is done too, List runs a new one to
    // its end (the new one's first step removes the rows).
    clickHeader(table, 3);
    QSignalSpy removed(table->model(), &QAbstractItemModel::rowsRemoved);
    QVERIFY(QTest::qWaitFor(
        [&] {
            pressList(window);
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
    const int heldRow = 4;
    std::atomic_bool held{false};
    // On the worker thread: the fill is held after the cells of one row until a stop
    // is asked for.
    connect(
        &worker, &threadMan::fillTable, &table,
        [&](int, int row, int column, QTableWidgetItem*) {
            if (row == heldRow && column == 5) {
                held = true;
                QElapsedTimer clock;
                clock.start();
                while (worker.busy && clock.elapsed() < waitMs) {
                    QThread::msleep(1);
                }
            }
        },
        Qt::DirectConnection);
    connect(&worker, &threadMan::fillTable, &table,
            [&table](int, int row, int column, QTableWidgetItem* cell) {
                table.setItem(row, column, cell);
            });
    QSignalSpy progress(&worker, &threadMan::setProg);
    QSignalSpy ended(&worker, &threadMan::initTableSort);
    worker.mode = 0;
    worker.path = root;
    worker.table = &table;
    worker.startJob();
    QTRY_VERIFY_WITH_TIMEOUT(held, waitMs);
    worker.stopJob();
    QCoreApplication::processEvents();

    QCOMPARE(table.rowCount(), 50);
    for (int row = 0; row < 50; ++row) {
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(table.item(row, column) != nullptr, row <= heldRow);
        }
    }
    QCOMPARE(progress.count(), heldRow + 2);
    QCOMPARE(progress.last(), QVariantList({heldRow, 0}));
    QCOMPARE(ended.count(), 0);
    QCOMPARE(worker.files.size(), 50);
}

void TestListing::linksAndCycles()
{
#ifdef Q_OS_WIN
    QSKIP("directory links need other rights on Windows");
#endif
    const QString root = temp.filePath(QStringLiteral("links"));
    QVERIFY(makePackage(root + "/other/b.var", 7));
    QVERIFY(makePackage(root + "/sub/a.var", 3));
    QVERIFY(QFile::link(root, root + "/sub/loop"));
    QVERIFY(QFile::link(root + "/sub", root + "/sub/self"));
    QVERIFY(QFile::link(root + "/other", root + "/sub/side"));
    QVERIFY(QFile::link(root + "/missing", root + "/sub/dangling"));

    setListedFolder(root);
    MainWindow window;
    QTableWidget* table = packageTable(window);
    QVERIFY(listAndWait(window));
    QCOMPARE(columnTexts(table, 1), QStringList({"a.var", "b.var", "b.var"}));
    QCOMPARE(columnTexts(table, 5), QStringList({"/sub/", "/other/", "/sub/side/"}));
    QVERIFY(table->item(1, 1)->data(Qt::BackgroundRole).isValid());
    QVERIFY(table->item(2, 1)->data(Qt::BackgroundRole).isValid());
}

void TestListing::unreadableFolder()
{
#ifdef Q_OS_UNIX
    if (geteuid() == 0) {
        QSKIP("the superuser reads every folder");
    }
#endif
    const QString root = temp.filePath(QStringLiteral("unreadable"));
    QVERIFY(makePackage(root + "/a/x.var", 1));
    QVERIFY(makePackage(root + "/b/y.var", 1));
    QVERIFY(makePackage(root + "/c/z.var", 1));
    QFile::setPermissions(root + "/b", QFileDevice::Permissions());
    setListedFolder(root);
    MainWindow window;
    const bool listed = listAndWait(window);
    QFile::setPermissions(root + "/b",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(listed);
    QCOMPARE(columnTexts(packageTable(window), 1), QStringList({"x.var", "z.var"}));
}

void TestListing::vanishingFolders()
{
    const QString root = temp.filePath(QStringLiteral("vanishing"));
    const auto folderOf = [&root](int i) {
        return root + QStringLiteral("/f%1").arg(i, 3, 10, QLatin1Char('0'));
    };
    const auto nameOf = [](int i, int j) {
        return QStringLiteral("p%1_%2.var").arg(i, 3, 10, QLatin1Char('0')).arg(j);
    };
    const int folders = 200;
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

void TestListing::nothingToList_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("no packages") << QStringLiteral("empty");
    QTest::newRow("missing folder") << QStringLiteral("missing");
}

void TestListing::nothingToList()
{
    QFETCH(QString, folder);
    QVERIFY(makePackage(temp.filePath("empty/x.VAR"), 1));
    QTableWidget table(3, 6);
    threadMan worker;
    QSignalSpy cells(&worker, &threadMan::fillTable);
    QSignalSpy progress(&worker, &threadMan::setProg);
    QSignalSpy ended(&worker, &threadMan::initTableSort);
    worker.mode = 0;
    worker.path = temp.filePath(folder);
    worker.table = &table;
    worker.startJob();
    QVERIFY(worker.wait(waitMs));
    QCoreApplication::processEvents();
    QCOMPARE(cells.count(), 0);
    QCOMPARE(progress.count(), 0);
    QCOMPARE(ended.count(), 0);
    QCOMPARE(table.rowCount(), 0);
}

void TestListing::stopDuringScan()
{
    const QString root = temp.filePath(QStringLiteral("endless-stop"));
    QVERIFY(makeEndlessTree(root, 40));
    QTableWidget table(3, 6);
    threadMan worker;
    QSignalSpy cells(&worker, &threadMan::fillTable);
    QSignalSpy progress(&worker, &threadMan::setProg);
    QSignalSpy ended(&worker, &threadMan::initTableSort);
    worker.mode = 0;
    worker.path = root;
    worker.table = &table;
    worker.startJob();
    QTest::qWait(100);
    QVERIFY(worker.isRunning());
    worker.stopJob();
    QVERIFY(worker.isFinished());
    QCoreApplication::processEvents();
    QCOMPARE(cells.count(), 0);
    QCOMPARE(progress.count(), 0);
    QCOMPARE(ended.count(), 0);
    QCOMPARE(table.rowCount(), 0);
    QVERIFY(!worker.files.isEmpty());
    QCOMPARE(worker.filePathAt(0), worker.files.first()->getFullPath());
}

void TestListing::closeDuringScan()
{
    const QString root = temp.filePath(QStringLiteral("endless-close"));
    QVERIFY(makeEndlessTree(root, 40));
    setListedFolder(root);
    // The window stops the endless scan as it closes, or this never ends.
    MainWindow window;
    pressList(window);
    QTest::qWait(50);
}

void TestListing::filePathAtRefusesBadIndex()
{
    const QString root = temp.filePath(QStringLiteral("paths"));
    QVERIFY(makePackage(root + "/a.var", 1));
    QVERIFY(makePackage(root + "/b.var", 1));
    QVERIFY(makeEndlessTree(root + "/endless", 40));
    QTableWidget table;
    threadMan worker;
    connect(&worker, &threadMan::fillTable, &table,
            [](int, int, int, QTableWidgetItem* cell) { delete cell; });
    worker.mode = 0;
    worker.path = root + "/endless";
    worker.table = &table;
    worker.startJob();
    // Nothing is read while the listing rebuilds the records.
    QCOMPARE(worker.filePathAt(0), QString());
    worker.stopJob();

    worker.path = root;
    QDir(root + "/endless").removeRecursively();
    worker.startJob();
    QVERIFY(worker.wait(waitMs));
    QCoreApplication::processEvents();
    QCOMPARE(worker.filePathAt(0), root + "/a.var");
    QCOMPARE(worker.filePathAt(1), root + "/b.var");
    QCOMPARE(worker.filePathAt(2), QString());
    QCOMPARE(worker.filePathAt(-1), QString());
    QCOMPARE(worker.filePathAt(1 << 30), QString());
}

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
