#include "listedwindow.h"
#include "messageboxcatcher.h"
#include "settingsstore.h"
#include "testfiles.h"

#include <QProgressDialog>
#include <QStorageInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString alpha = QStringLiteral("Creator.Alpha.1.var");
const QString beta = QStringLiteral("Creator.Beta.2.var");
const QString dup = QStringLiteral("Dup.Pack.1.var");
const QColor moved(100, 200, 100);
const QColor deleted(128, 128, 128);
const QColor duplicate(255, 128, 128);

} // namespace

class TestFileActions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void actOnMarkedRows_data();
    void actOnMarkedRows();
    void targets();
    void moveDestination_data();
    void moveDestination();
    void nameTakenAtDestination();
    void staleTargetsChangeNothing();
    void moveAcrossFileSystems();

private:
    // The window over the packages, listed, its worker idle; false when that fails.
    bool open(bool confirm = false, const QString& destination = QStringLiteral("/dest"));
    bool painted(int row, const QColor& colour) const;
    QString pkgs() const { return home->path() + QStringLiteral("/pkgs"); }
    QString dest() const { return home->path() + QStringLiteral("/dest"); }
    QString trash() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/Trash/files");
    }

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
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", QFile::encodeName(home->path()));
    const QMap<QString, QByteArray> files{{alpha, "alpha package"},
                                          {alpha + ".depend.txt", "alpha needs"},
                                          {"Creator.Alpha.1.depend.txt", "not a companion"},
                                          {beta, "beta package"},
                                          {dup, "twin"},
                                          {"sub/" + dup, "twin"}};
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QVERIFY(TestFiles::write(pkgs() + "/" + it.key(), it.value()));
    }
}

void TestFileActions::cleanup()
{
    w.reset();
    home.reset();
}

bool TestFileActions::open(bool confirm, const QString& destination)
{
    w = std::make_unique<ListedWindow>(pkgs(), home->path() + destination, confirm);
    if (!w->list()) {
        return false;
    }
    // A selection waits for the worker to end; the listing has sent everything by then.
    w->packages->setCurrentCell(0, 1);
    w->packages->clearSelection();
    return true;
}

bool TestFileActions::painted(int row, const QColor& colour) const
{
    for (int column = 0; column < 6; ++column) {
        if (w->packages->item(row, column)->background().color() != colour) {
            return false;
        }
    }
    return true;
}

void TestFileActions::actOnMarkedRows_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("yes");
    QTest::newRow("delete, confirmed") << false << true << true;
    QTest::newRow("move, declined") << true << true << false;
    QTest::newRow("move, no question") << true << false << false;
}

void TestFileActions::actOnMarkedRows()
{
    QFETCH(bool, move);
    QFETCH(bool, confirm);
    QFETCH(bool, yes);
    const bool acts = !confirm || yes;
    MessageBoxCatcher catcher(yes ? QMessageBox::Yes : QMessageBox::No);
    QVERIFY(open(confirm));
    const int alphaRow = w->rowOf(alpha);
    const int betaRow = w->rowOf(beta);
    w->packages->item(alphaRow, 0)->setCheckState(Qt::Checked);
    w->packages->item(betaRow, 0)->setCheckState(Qt::Checked);
    w->click(move ? "pushButton_MoveTo" : "pushButton_Del");

    QCOMPARE(catcher.titles.size(), confirm ? 1 : 0);
    // The companion goes along; a file that only looks like one stays.
    const QString target = move ? dest() : trash();
    for (const QString& name : {alpha, alpha + ".depend.txt", beta}) {
        QCOMPARE(QFileInfo::exists(pkgs() + "/" + name), !acts);
        QCOMPARE(QFileInfo::exists(target + "/" + name), acts);
    }
    QVERIFY(QFileInfo::exists(pkgs() + "/Creator.Alpha.1.depend.txt"));
    for (int row : {alphaRow, betaRow}) {
        QCOMPARE(w->packages->item(row, 0)->checkState(), acts ? Qt::Unchecked : Qt::Checked);
        QCOMPARE(painted(row, move ? moved : deleted), acts);
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
    w->packages->item(alphaRow, 0)->setCheckState(Qt::Checked);
    w->packages->setCurrentCell(betaRow, 5);
    // A marked row wins over the selection; once none is marked, the selected one goes.
    w->click("pushButton_Del");
    QVERIFY(!QFileInfo::exists(pkgs() + "/" + alpha) && painted(alphaRow, deleted));
    QVERIFY(QFileInfo::exists(pkgs() + "/" + beta) && !painted(betaRow, deleted));
    w->click("pushButton_Del");
    QVERIFY(!QFileInfo::exists(pkgs() + "/" + beta) && painted(betaRow, deleted));
}

void TestFileActions::moveDestination_data()
{
    // The destination is checked, and made, before the question.
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("title");
    QTest::newRow("cannot be made") << "/blocker/sub"
                                    << "Failed";
    QTest::newRow("made, then declined") << "/dest/new/folder"
                                         << "Move Confirm";
}

void TestFileActions::moveDestination()
{
    QFETCH(QString, destination);
    QFETCH(QString, title);
    QVERIFY(TestFiles::write(home->path() + "/blocker", "a file, not a folder"));
    MessageBoxCatcher catcher(QMessageBox::No);
    QVERIFY(open(true, destination));
    w->packages->item(w->rowOf(alpha), 0)->setCheckState(Qt::Checked);
    w->click("pushButton_MoveTo");
    QCOMPARE(catcher.titles, QStringList{title});
    QCOMPARE(QFileInfo(home->path() + destination).isDir(), title != "Failed");
    QVERIFY(QFileInfo::exists(pkgs() + "/" + alpha));
}

void TestFileActions::nameTakenAtDestination()
{
    QVERIFY(TestFiles::write(dest() + "/" + dup, "someone else's"));
    QVERIFY(TestFiles::write(pkgs() + "/" + dup + ".depend.txt", "twin needs"));
    QVERIFY(open());
    const int dupRow = w->rowOf(dup);
    const int betaRow = w->rowOf(beta);
    w->packages->item(dupRow, 0)->setCheckState(Qt::Checked);
    w->packages->item(betaRow, 0)->setCheckState(Qt::Checked);
    w->click("pushButton_MoveTo");
    QCOMPARE(TestFiles::read(pkgs() + "/" + dup), QByteArray("twin"));
    QCOMPARE(TestFiles::read(dest() + "/" + dup), QByteArray("someone else's"));
    // The companion stays with the package that stayed.
    QCOMPARE(TestFiles::tree(dest()), QStringList({beta, dup}));
    QCOMPARE(w->packages->item(dupRow, 0)->checkState(), Qt::Checked);
    QCOMPARE(w->packages->item(dupRow, 1)->background().color(), duplicate);
    // The other marked package still goes.
    QCOMPARE(TestFiles::read(dest() + "/" + beta), QByteArray("beta package"));
    QVERIFY(painted(betaRow, moved));
}

void TestFileActions::staleTargetsChangeNothing()
{
    QVERIFY(open());
    const int alphaRow = w->rowOf(alpha);
    w->packages->item(alphaRow, 0)->setCheckState(Qt::Checked);
    w->click("pushButton_Del");
    QVERIFY(painted(alphaRow, deleted));
    const QStringList trashed = TestFiles::tree(trash());
    QCOMPARE(trashed.size(), 2);

    // Marked again, its files gone: the second try fails and the row stays as it is.
    w->packages->item(alphaRow, 0)->setCheckState(Qt::Checked);
    // A cell that names no record of the listing is passed over.
    const int betaRow = w->rowOf(beta);
    w->packages->item(betaRow, 0)->setData(Qt::UserRole, 99);
    w->packages->item(betaRow, 0)->setCheckState(Qt::Checked);
    w->click("pushButton_Del");
    QCOMPARE(w->packages->item(alphaRow, 0)->checkState(), Qt::Checked);
    QVERIFY(painted(alphaRow, deleted));
    QCOMPARE(w->packages->item(betaRow, 0)->checkState(), Qt::Checked);
    QVERIFY(QFileInfo::exists(pkgs() + "/" + beta));
    QCOMPARE(TestFiles::tree(trash()), trashed);
}

void TestFileActions::moveAcrossFileSystems()
{
    QTemporaryDir memory("/dev/shm/quillmark-move-XXXXXX");
    if (!memory.isValid() ||
        QStorageInfo(memory.path()).device() == QStorageInfo(home->path()).device()) {
        QSKIP("no tmpfs folder /dev/shm beside the temporary folder");
    }
    const QString big = QStringLiteral("Big.One.1.var");
    const QByteArray content(64 << 20, 'q');
    QVERIFY(TestFiles::write(memory.path() + "/" + big, content));
    QVERIFY(TestFiles::write(memory.path() + "/" + big + ".depend.txt", "big needs"));
    w = std::make_unique<ListedWindow>(memory.path(), dest());
    QVERIFY(w->list());
    w->packages->item(0, 0)->setCheckState(Qt::Checked);

    // The window goes on working while the package is copied, and shows how far it is.
    QStringList shown;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        for (const QProgressDialog* dialog : w->window->findChildren<QProgressDialog*>()) {
            if (dialog->isVisible()) {
                shown << dialog->labelText().section('\n', 0, 0);
            }
        }
    });
    watch.start(5);
    w->click("pushButton_MoveTo");
    QVERIFY(shown.contains("Moving " + big));
    QVERIFY(TestFiles::read(dest() + "/" + big) == content);
    QCOMPARE(TestFiles::read(dest() + "/" + big + ".depend.txt"), QByteArray("big needs"));
    QCOMPARE(TestFiles::tree(memory.path()), QStringList());
    QVERIFY(painted(0, moved));
}

QTEST_MAIN(TestFileActions)
#include "tst_fileactions.moc"
