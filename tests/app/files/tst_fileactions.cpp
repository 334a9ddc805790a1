#include "listedwindow.h"
#include "messageboxcatcher.h"
#include "testfiles.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QStorageInfo>
#include <QTableWidget>
#include <QtTest>

const QString alpha = QStringLiteral("Creator.Alpha.1.var");
const QString beta = QStringLiteral("Creator.Beta.2.var");
const QString dup = QStringLiteral("Dup.Pack.1.var");
const QColor moved(100, 200, 100);
const QColor deleted(128, 128, 128);
const QColor duplicate(255, 128, 128);

class TestFileActions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void actOnMarkedRows_data();
    void actOnMarkedRows();
    void targets();
    void moveAcrossFileSystems_data();
    void moveAcrossFileSystems();

private:
    // The window over the packages, listed, its worker idle; false when that fails.
    bool open(bool confirm = false, const QString& destination = QStringLiteral("/dest"));
    bool painted(int row, QColor c) const { return w->packages->item(row, 5)->background() == c; }
    QString pkgs, dest, trash;

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ListedWindow> w;
};

void TestFileActions::initTestCase()
{
    // Fixes where the settings live before HOME moves for each test.
    ListedWindow();
    // No file manager or desktop handler may be reached from a test.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillmark-test-bus");
}

void TestFileActions::init()
{
    // A home of its own per test: a fresh trash, and the packages on the same disk.
    w.reset();
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", QFile::encodeName(home->path()));
    pkgs = home->path() + "/pkgs";
    dest = home->path() + "/dest";
    trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
    // The two copies of `dup` are alike in name and size.
    for (const QString& name : {alpha, alpha + ".depend.txt", QString("Creator.Alpha.1.depend.txt"),
                                beta, dup, "sub/" + dup}) {
        QVERIFY(TestFiles::write(pkgs + "/" + name, QFileInfo(name).fileName().toUtf8()));
    }
}

bool TestFileActions::open(bool confirm, const QString& destination)
{
    w = std::make_unique<ListedWindow>(pkgs, home->path() + destination, confirm);
    const bool listed = w->list();
    // A selection waits for the worker to end; the listing has sent everything by then.
    w->packages->setCurrentCell(0, 1);
    w->packages->clearSelection();
    return listed;
}

void TestFileActions::actOnMarkedRows_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("answer"); // to the question; empty: none is asked
    QTest::addColumn<QString>("title");  // of the one message box; empty for none
    QTest::addColumn<bool>("taken");     // the destination holds another file of alpha's name
    QTest::newRow("delete, confirmed") << false << "/dest"
                                       << "yes"
                                       << "Delete Confirm" << false;
    // The destination is checked, and made, before the question.
    QTest::newRow("move to a new folder, declined") << true << "/dest/new/folder"
                                                    << "no"
                                                    << "Move Confirm" << false;
    QTest::newRow("move, cannot make the folder") << true << "/blocker/sub"
                                                  << "yes"
                                                  << "Failed" << false;
    QTest::newRow("move, a name taken") << true << "/dest"
                                        << ""
                                        << "" << true;
}

void TestFileActions::actOnMarkedRows()
{
    QFETCH(bool, move);
    QFETCH(QString, destination);
    QFETCH(QString, answer);
    QFETCH(QString, title);
    QFETCH(bool, taken);
    const bool acts = title != "Failed" && answer != "no";
    QVERIFY(TestFiles::write(home->path() + "/blocker", "a file, not a folder"));
    QVERIFY(!taken || TestFiles::write(dest + "/" + alpha, "someone else's"));
    MessageBoxCatcher catcher(answer == "yes" ? QMessageBox::Yes : QMessageBox::No);
    QVERIFY(open(!answer.isEmpty(), destination));
    const int alphaRow = w->rowOf(alpha);
    const int betaRow = w->rowOf(beta);
    for (int row : {alphaRow, betaRow}) {
        w->packages->item(row, 0)->setCheckState(Qt::Checked);
    }
    w->click(move ? "pushButton_MoveTo" : "pushButton_Del");

    QCOMPARE(catcher.titles, title.isEmpty() ? QStringList() : QStringList{title});
    QCOMPARE(QFileInfo(home->path() + destination).isDir(), move && title != "Failed");
    // The companion goes along, or stays with a package that stays; a file that only
    // looks like one stays; the other marked package still goes.
    const QString target = move ? home->path() + destination : trash;
    for (const QString& name : {alpha, alpha + ".depend.txt", beta}) {
        const bool goes = acts && !(taken && name.startsWith(alpha));
        QCOMPARE(QFileInfo::exists(pkgs + "/" + name), !goes);
        QCOMPARE(QFileInfo::exists(target + "/" + name), goes || (taken && name == alpha));
    }
    QVERIFY(QFileInfo::exists(pkgs + "/Creator.Alpha.1.depend.txt"));
    QVERIFY(!taken || TestFiles::read(dest + "/" + alpha) == "someone else's");
    for (int row : {alphaRow, betaRow}) {
        const bool went = acts && !(taken && row == alphaRow);
        QCOMPARE(w->packages->item(row, 0)->checkState(), went ? Qt::Unchecked : Qt::Checked);
        QCOMPARE(painted(row, move ? moved : deleted), went);
    }
    // Unmarked rows keep their own colour.
    QCOMPARE(w->packages->item(w->rowOf(dup), 1)->background().color(), duplicate);
}

void TestFileActions::targets()
{
    QVERIFY(open());
    // Sorted by size, the row order no longer follows the record order.
    w->packages->sortItems(3, Qt::DescendingOrder);
    const int alphaRow = w->rowOf(alpha);
    const int betaRow = w->rowOf(beta);
    const int dupRow = w->rowOf(dup);
    const auto mark = [&](int row, bool marked) {
        w->packages->item(row, 0)->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
    };
    // A marked row wins over the selection.
    mark(alphaRow, true);
    w->packages->setCurrentCell(betaRow, 5);
    w->click("pushButton_Del");
    QVERIFY(!QFileInfo::exists(pkgs + "/" + alpha) && painted(alphaRow, deleted));
    QVERIFY(QFileInfo::exists(pkgs + "/" + beta) && !painted(betaRow, deleted));
    const QStringList trashed = TestFiles::tree(trash);

    // Marked again, its files gone, and a cell that names no record of the listing:
    // both are passed over and their rows stay as they are.
    mark(alphaRow, true);
    w->packages->item(dupRow, 0)->setData(Qt::UserRole, 99);
    mark(dupRow, true);
    w->click("pushButton_Del");
    QVERIFY(w->packages->item(alphaRow, 0)->checkState() == Qt::Checked &&
            w->packages->item(dupRow, 0)->checkState() == Qt::Checked);
    QVERIFY(painted(alphaRow, deleted) && !painted(dupRow, deleted));
    QCOMPARE(TestFiles::tree(trash), trashed);

    // Once none is marked, the selected one goes.
    mark(alphaRow, false);
    mark(dupRow, false);
    w->click("pushButton_Del");
    QVERIFY(!QFileInfo::exists(pkgs + "/" + beta) && painted(betaRow, deleted));
}

void TestFileActions::moveAcrossFileSystems_data()
{
    QTest::addColumn<bool>("cancel"); // pressed as soon as the progress shows
    QTest::newRow("moved") << false;
    QTest::newRow("cancelled") << true;
}

void TestFileActions::moveAcrossFileSystems()
{
    QFETCH(bool, cancel);
    QTemporaryDir memory("/dev/shm/quillmark-move-XXXXXX");
    if (!memory.isValid() ||
        QStorageInfo(memory.path()).device() == QStorageInfo(home->path()).device()) {
        QSKIP("no tmpfs folder /dev/shm beside the temporary folder");
    }
    const QString big = QStringLiteral("Big.One.1.var");
    // Empty, the later package is copied without a word of progress: only the mover
    // itself can hold it back.
    const QString later = QStringLiteral("Later.One.1.var");
    QVERIFY(TestFiles::write(memory.path() + "/" + big, QByteArray(64 << 20, 'q')) &&
            TestFiles::write(memory.path() + "/" + big + ".depend.txt", "big needs") &&
            TestFiles::write(memory.path() + "/" + later, ""));
    const QStringList files = TestFiles::tree(memory.path());
    w = std::make_unique<ListedWindow>(memory.path(), dest);
    QVERIFY(w->list());
    for (int row : {0, 1}) {
        w->packages->item(row, 0)->setCheckState(Qt::Checked);
    }

    // The window goes on working while the package is copied, and shows how far it is.
    QStringList shown;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        auto* dialog = w->window->findChild<QProgressDialog*>();
        if (dialog && dialog->isVisible()) {
            shown << dialog->labelText().section('\n', 0, 0);
            if (cancel) {
                dialog->findChild<QPushButton*>()->click();
            }
        }
    });
    watch.start(5);
    MessageBoxCatcher boxes;
    w->click("pushButton_MoveTo");
    QVERIFY(shown.contains("Moving " + big));
    // Cancelled, the package under way, its companion and the later one stay, and
    // nothing of them, not even a hidden part, reaches the destination.
    QCOMPARE(TestFiles::tree(dest), cancel ? QStringList() : files);
    QCOMPARE(TestFiles::tree(memory.path()), cancel ? files : QStringList());
    QCOMPARE(painted(0, moved), !cancel);
}

QTEST_MAIN(TestFileActions)
#include "tst_fileactions.moc"
