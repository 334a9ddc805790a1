#include "folderwalk.h"
#include "listedwindow.h"
#include "packagefiles.h"
#include "referenceinsertion.h"
#include "testfiles.h"
#include "threadman.h"
#include "varfile.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

bool makePackages(const QString& root, const QStringList& names, qint64 size = 1)
{
    return std::all_of(names.begin(), names.end(), [&](const QString& name) {
        return PackageFiles::create(root + name, size);
    });
}

// The packages of the "numbered" folder, p0000.var, p0001.var, ...: the name of each
// tells its place in the listing.
const int numberedCount = 2000;

QString numberedName(int index)
{
    return QStringLiteral("p%1.var").arg(index, 4, 10, QLatin1Char('0'));
}

void clickHeader(QTableWidget* table, int column)
{
    QHeaderView* header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(column) + 20, header->height() / 2));
}

// Folders whose links fan out to 2^depth paths without a cycle, each folder with one
// package of its own.
bool makeFannedOutTree(const QString& root, int depth)
{
    for (int level = 0; level < depth; ++level) {
        const QString folder = root + QStringLiteral("/d%1").arg(level);
        const QString next = root + QStringLiteral("/d%1").arg(level + 1);
        if (!PackageFiles::create(folder + "/p.var", 1) || !QFile::link(next, folder + "/a") ||
            !QFile::link(next, folder + "/b")) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestListing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rowsAndCells();
    void userDuringListing();
    void endsEarly_data();
    void endsEarly();
    void stopListing_data();
    void stopListing();
    void oddFolders();
    void sortsLikeInsertion();
    void scratchFolders();

private:
    QTemporaryDir temp;
};

void TestListing::initTestCase()
{
    for (int i = 0; i < numberedCount; ++i) {
        QVERIFY(PackageFiles::create(temp.filePath("numbered/") + numberedName(i), 1));
    }
    // The locale whose collator ignores numeric mode, as under LANG=C.
    QLocale::setDefault(QLocale::c());
}

void TestListing::rowsAndCells()
{
    const QString root = temp.filePath(QStringLiteral("cells"));
    QVERIFY(PackageFiles::create(root + "/Author.Pack.3.var", 9437184,
                                 QDateTime(QDate(2022, 11, 5), QTime(10, 30, 15))));
    QVERIFY(PackageFiles::create(root + "/big.var", 4608LL * 1024 * 1024 + 1));
    QVERIFY(makePackages(root, {"/other/A.B.1.var", "/sub/a.b.1.var"}, 1000));
    QVERIFY(PackageFiles::create(root + "/other/c.d.1.var", 20) &&
            PackageFiles::create(root + "/sub/c.d.1.var", 10));
    QVERIFY(PackageFiles::create(root + QString::fromUtf8("/日本 語/作者.名前.2.var"), 3145728));
    QVERIFY(makePackages(root, {"/x.VAR", "/x.var.bak", "/sub/readme.txt"}));
    // However the folder is written, the Path column is relative to it.
    ListedWindow w(root + "/./sub/..//");
    QVERIFY(w.list());

    QStringList rows;
    for (int row = 0; row < w.packages->rowCount(); ++row) {
        const auto cell = [&](int column) { return w.packages->item(row, column); };
        rows << QStringList{cell(1)->text(), cell(2)->text(), cell(3)->text(), cell(5)->text(),
                            cell(2)->background().color() == QColor(255, 128, 128) ? "dup" : ""}
                    .join('|');
    }
    const QStringList expected{"A.B.1.var|B.1|0.00|/other/|dup",
                               "a.b.1.var|b.1|0.00|/sub/|dup",
                               "Author.Pack.3.var|Pack.3|9.00|/|",
                               "big.var|big|4608.00|/|",
                               "c.d.1.var|d.1|0.00|/other/|",
                               "c.d.1.var|d.1|0.00|/sub/|",
                               QString::fromUtf8("作者.名前.2.var|名前.2|3.00|/日本 語/|")};
    QCOMPARE(rows, expected);
    QCOMPARE(w.packages->item(2, 4)->text(), QString("2022-11-05 10:30:15"));

    // Sorted by size, by value, the cells still lead to their own package.
    clickHeader(w.packages, 3);
    QCOMPARE(w.column(1).mid(4),
             QStringList({QString::fromUtf8("作者.名前.2.var"), "Author.Pack.3.var", "big.var"}));
    w.packages->selectRow(6);
    QCOMPARE(w.shownPath(), root + "/big.var");
}

void TestListing::userDuringListing()
{
    ListedWindow w(temp.filePath(QStringLiteral("numbered")));
    // The user picks the first package as soon as its row is complete, then clicks the
    // headers while the rows fill.
    int clicks = 0;
    connect(w.packages->model(), &QAbstractItemModel::dataChanged, this,
            [&w, &clicks](const QModelIndex& index) {
                if (index.column() == 5 && index.row() % 100 == 0) {
                    clicks++ == 0 ? w.packages->selectRow(0)
                                  : clickHeader(w.packages, 1 + clicks % 5);
                }
            });
    w.list(false);
    QTRY_COMPARE_WITH_TIMEOUT(w.shownPath(), temp.filePath("numbered/p0000.var"), 20000);

    // Once the inspection is done too, List runs a new listing to its end, although
    // its first step removes the selected rows.
    QSignalSpy removed(w.packages->model(), &QAbstractItemModel::rowsRemoved);
    auto* list = w.window->findChild<QPushButton*>("pushButton_ListVar");
    QVERIFY(QTest::qWaitFor(
        [&] { return (list->text() != "List" || w.list(false)) && !removed.isEmpty(); }, 20000));
    // Header clicks may move the sort indicator, so the end is told by the last cells.
    QTRY_VERIFY_WITH_TIMEOUT(
        w.packages->rowCount() == numberedCount && !w.column(5).contains(QString()), 20000);
    QVERIFY(clicks > numberedCount / 100);
    // The cells of each row belong to one package, however the rows moved.
    for (int row = 0; row < numberedCount; ++row) {
        const QVariant record = w.packages->item(row, 1)->data(Qt::UserRole);
        for (int column = 0; column < 6; ++column) {
            QVERIFY(w.packages->item(row, column));
            QCOMPARE(w.packages->item(row, column)->data(Qt::UserRole), record);
        }
        QCOMPARE(w.packages->item(row, 1)->text(), numberedName(record.toInt()));
    }
}

void TestListing::endsEarly_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("stopped during the scan") << "wide";
}

void TestListing::endsEarly()
{
    QFETCH(QString, folder);
    const bool stopped = folder == "wide";
    // Enough folders that the scan is still walking them when the stop comes.
    QStringList wide;
    for (int i = 0; stopped && i < 3000; ++i) {
        wide << QStringLiteral("/%1/f%2/p.var").arg(folder).arg(i);
    }
    QVERIFY(makePackages(temp.path(), wide));
    QTableWidget table(3, 6);
    threadMan worker;
    QSignalSpy sent(&worker, &threadMan::fillTable);
    QSignalSpy ended(&worker, &threadMan::initTableSort);
    worker.startListing(temp.filePath(folder), &table, nullptr);
    if (stopped) {
        // Nothing is read while the scan rebuilds the records.
        QCOMPARE(worker.filePathAt(0), QString());
        worker.stopJob();
    }
    QVERIFY(worker.wait(20000));
    QCoreApplication::processEvents();
    QVERIFY(sent.isEmpty() && ended.isEmpty() && table.rowCount() == 0);
    // A stopped listing keeps the records it found, readable once it has ended.
    const int found = worker.packageCount();
    QVERIFY(stopped || found == 0);
    QCOMPARE(worker.filePathAt(0).endsWith("/p.var"), found > 0);
    QVERIFY(worker.filePathAt(-1).isEmpty() && worker.filePathAt(found).isEmpty());
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
    auto w = std::make_unique<ListedWindow>(temp.filePath(QStringLiteral("numbered")));
    auto* list = w->window->findChild<QPushButton*>("pushButton_ListVar");
    QApplication::setActiveWindow(w->window.get());
    QVERIFY(QTest::qWaitForWindowActive(w->window.get()));
    w->list(false);
    QCOMPARE(list->text(), QString("Stop"));
    if (how == "close") {
        // The cells sent meanwhile are still on their way as the window goes (a leak
        // checker tells whether they are freed).
        QThread::msleep(500);
        return;
    }
    how == "Escape" ? QTest::keyClick(w->window.get(), Qt::Key_Escape)
                    : w->click("pushButton_ListVar");
    QTRY_COMPARE_WITH_TIMEOUT(list->text(), QString("List"), 20000);
    QVERIFY(!w->listingEnded());
    QVERIFY(!w->packages->item(numberedCount - 1, 5));
}

void TestListing::oddFolders()
{
    const QString root = temp.filePath(QStringLiteral("odd"));
    QVERIFY(makePackages(root, {"/other/b.var", "/sub/a.var", "/locked/c.var"}));
    QVERIFY(QFile::link(root, root + "/sub/loop"));
    QVERIFY(QFile::link(root + "/sub", root + "/sub/self"));
    QVERIFY(QFile::link(root + "/other", root + "/sub/side"));
    QVERIFY(QFile::link(root + "/missing", root + "/sub/dangling"));
    QVERIFY(QFile::link(root + "/sub/a.var", root + "/other/a.var"));
    QVERIFY(makeFannedOutTree(root + "/fan", 40));
    for (int i = 0; i < 200; ++i) {
        const QString folder = QStringLiteral("/f%1/p%1_").arg(i);
        QVERIFY(makePackages(root, {folder + "0.var", folder + "1.var", folder + "2.var"}));
    }
    // An unreadable folder is passed over (though not by the superuser, who reads all).
    QFile::setPermissions(root + "/locked", QFileDevice::Permissions());
    ListedWindow w(root);
    w.list(false);
    // Half of the folders go while the scan walks the tree.
    for (int i = 1; i < 200; i += 2) {
        QDir(root + QStringLiteral("/f%1").arg(i)).removeRecursively();
    }
    const bool listed = QTest::qWaitFor([&] { return w.listingEnded(); }, 20000);
    QFile::setPermissions(root + "/locked",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(listed);
    // Each file once, where the walk first meets it, and so no duplicate of itself.
    const QStringList names = w.column(1);
    QCOMPARE(names.mid(0, 2) + w.column(5).mid(0, 2),
             QStringList({"a.var", "b.var", "/other/", "/other/"}));
    QVERIFY(!w.packages->item(0, 1)->data(Qt::BackgroundRole).isValid());
    QCOMPARE(names.count("c.var"), geteuid() == 0 ? 1 : 0);
    QCOMPARE(names.count("p.var"), 40);
    // The three packages of each folder that stayed, once each.
    QCOMPARE(names.filter(QRegularExpression("^p\\d*[02468]_[012]\\.var$")).size(), 300);
}

void TestListing::sortsLikeInsertion()
{
    // Names from a small pool, so that equal names in other case (also where case folds
    // letters together), equal names of other sizes and longer runs of copies all occur.
    const QStringList pool = QString::fromUtf8("a.b.1.var|A.B.1.var|a.B.1.var|a.b.10.var|a.b.2.var|"
                                               "Ab.var|ab.var|a_b.var|a.var|[x].var|x y.var|"
                                               "X Y.var|Ñu.var|ñU.var|σ.var|Σ.var|ς.var|日本.var")
                                 .split(QLatin1Char('|'));
    QRandomGenerator random(1);
    // Each file in a folder of its own, in the scan's order; two records of each file,
    // one for either ordering.
    std::vector<std::unique_ptr<varFile>> owned;
    QVector<varFile*> expected, actual;
    for (int i = 0; i < 300; ++i) {
        const QString path = temp.filePath(QStringLiteral("sorted/%1/").arg(i)) +
                             pool.at(random.bounded(pool.size()));
        QVERIFY(PackageFiles::create(path, random.bounded(3)));
        owned.push_back(std::make_unique<varFile>(FolderWalk::package(path)));
        referenceInsert(expected, owned.back().get());
        owned.push_back(std::make_unique<varFile>(FolderWalk::package(path)));
        actual.append(owned.back().get());
    }
    varFile::sortByName(actual);
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i) {
        QCOMPARE(actual.at(i)->getFullPath(), expected.at(i)->getFullPath());
        QCOMPARE(actual.at(i)->duplicate, expected.at(i)->duplicate);
    }
}

void TestListing::scratchFolders()
{
    const QString scratch = QCoreApplication::applicationDirPath() + "/~tmp2";
    QDir(scratch).removeRecursively();
    // What a crashed instance left behind: its folder and a lock of a process that is gone.
    QVERIFY(TestFiles::write(scratch + "/instance-crashed/pictures-1/a.jpg", "x"));
    QVERIFY(TestFiles::write(scratch + "/.instance-crashed.lock", "999999999\ntst_listing\n\n"));

    auto worker = std::make_unique<threadMan>();
    QCOMPARE(QDir(scratch).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QFileInfo(worker->scratchFolder()).fileName()});
    QVERIFY(TestFiles::write(worker->scratchFolder() + "/meta.json", "{}"));
    QVERIFY(TestFiles::write(worker->scratchFolder() + "/pictures-2/b.jpg", "x"));
    // Another instance running at the same time keeps to a folder of its own.
    QVERIFY(threadMan().scratchFolder() != worker->scratchFolder());
    QVERIFY(QFile::exists(worker->scratchFolder() + "/meta.json"));
    worker.reset();
    QCOMPARE(TestFiles::tree(scratch), QStringList());
}

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
