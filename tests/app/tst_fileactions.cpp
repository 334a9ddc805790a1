#include "appinfo.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "settingsstore.h"
#include "testfiles.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
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

QString trashFiles()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Trash/files");
}

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
    void targets_data();
    void targets();
    void moveDestination_data();
    void moveDestination();
    void nameTakenAtDestination();
    void staleTargetsChangeNothing();
    void spaceFlipsMarks_data();
    void spaceFlipsMarks();
    void help_data();
    void help();
    void locateAndOpen();
    void moveAcrossFileSystems();

private:
    // Opens the window and lists the collection; false when the listing does not end.
    bool openListed();
    void click(const char* name);
    bool pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    int rowOf(const QString& name, const QString& folder = QStringLiteral("/")) const;
    bool rowPainted(int row, const QColor& colour) const;
    QString pkgs() const { return home->path() + QStringLiteral("/pkgs"); }
    QString dest() const { return home->path() + QStringLiteral("/dest"); }

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<MainWindow> window;
    QTableWidget* table = nullptr;
};

void TestFileActions::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    // Fixes where the settings live before HOME moves for each test.
    openSettingsGroup(QStringLiteral("Param"))->value(QStringLiteral("Confirm"));
    // No file manager or desktop handler may be reached from a test.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillmark-test-bus");
}

void TestFileActions::init()
{
    // A home of its own per test: a fresh trash, and the packages on the same disk.
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
    qputenv("HOME", QFile::encodeName(home->path()));
    const QMap<QString, QByteArray> files{{alpha, "alpha package"},
                                          {alpha + ".depend.txt", "alpha needs"},
                                          {"Creator.Alpha.1.jpg", "picture"},
                                          {"Creator.Alpha.1.depend.txt", "not a companion"},
                                          {beta, "beta package"},
                                          {dup, "twin"},
                                          {"sub/" + dup, "twin"}};
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QVERIFY(TestFiles::write(pkgs() + "/" + it.key(), it.value()));
    }
    openSettingsGroup("RecentVar")->setValue("Path1", pkgs());
    openSettingsGroup("RecentDest")->setValue("Path1", dest());
    openSettingsGroup("Param")->setValue("Confirm", 0);
}

void TestFileActions::cleanup()
{
    window.reset();
    home.reset();
}

bool TestFileActions::openListed()
{
    window = std::make_unique<MainWindow>();
    table = window->findChild<QTableWidget*>(QStringLiteral("tableWidget_Var"));
    click("pushButton_ListVar");
    if (!QTest::qWaitFor([this] { return table->rowCount() == 4 && table->item(3, 5); }, 10000)) {
        return false;
    }
    // A selection stops and waits for the worker; the listing has already sent all.
    table->setCurrentCell(0, 1);
    table->clearSelection();
    return true;
}

void TestFileActions::click(const char* name)
{
    QTest::mouseClick(window->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
}

bool TestFileActions::pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get())) {
        return false;
    }
    QTest::keyClick(window.get(), key, modifiers);
    return true;
}

int TestFileActions::rowOf(const QString& name, const QString& folder) const
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 1)->text() == name && table->item(row, 5)->text() == folder) {
            return row;
        }
    }
    return -1;
}

bool TestFileActions::rowPainted(int row, const QColor& colour) const
{
    for (int column = 0; column < 6; ++column) {
        if (table->item(row, column)->background().color() != colour) {
            return false;
        }
    }
    return true;
}

void TestFileActions::actOnMarkedRows_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("shortcut");
    QTest::addColumn<bool>("yes");
    for (const bool move : {false, true}) {
        const char* verb = move ? "move" : "delete";
        QTest::addRow("%s, confirmed", verb) << move << true << false << true;
        QTest::addRow("%s, declined", verb) << move << true << false << false;
        QTest::addRow("%s, no question", verb) << move << false << false << false;
        QTest::addRow("%s by shortcut", verb) << move << false << true << false;
    }
}

void TestFileActions::actOnMarkedRows()
{
    QFETCH(bool, move);
    QFETCH(bool, confirm);
    QFETCH(bool, shortcut);
    QFETCH(bool, yes);
    const bool acts = !confirm || yes;
    openSettingsGroup("Param")->setValue("Confirm", confirm ? 1 : 0);

    MessageBoxCatcher catcher(yes ? QMessageBox::Yes : QMessageBox::No);
    QVERIFY(openListed());
    const int alphaRow = rowOf(alpha);
    const int betaRow = rowOf(beta);
    table->item(alphaRow, 0)->setCheckState(Qt::Checked);
    table->item(betaRow, 0)->setCheckState(Qt::Checked);

    if (shortcut) {
        QVERIFY(pressKey(move ? Qt::Key_V : Qt::Key_X, Qt::ControlModifier));
    } else {
        click(move ? "pushButton_MoveTo" : "pushButton_Del");
    }

    if (confirm) {
        QCOMPARE(catcher.titles, QStringList{move ? "Move Confirm" : "Delete Confirm"});
        QCOMPARE(catcher.texts, QStringList{move ? "Move Selected File(s) to DestPath! Confirm?"
                                                 : "Delete Selected File(s)! Confirm?"});
    } else {
        QCOMPARE(catcher.titles, QStringList());
    }
    // The companion goes along; files that only look like one stay.
    const QString target = move ? dest() : trashFiles();
    const QMap<QString, QByteArray> travelling{
        {alpha, "alpha package"}, {alpha + ".depend.txt", "alpha needs"}, {beta, "beta package"}};
    for (auto it = travelling.cbegin(); it != travelling.cend(); ++it) {
        QCOMPARE(QFileInfo::exists(pkgs() + "/" + it.key()), !acts);
        QCOMPARE(TestFiles::read(target + "/" + it.key()),
                 acts ? it.value() : QByteArray("<unreadable>"));
    }
    QVERIFY(QFileInfo::exists(pkgs() + "/Creator.Alpha.1.jpg"));
    QVERIFY(QFileInfo::exists(pkgs() + "/Creator.Alpha.1.depend.txt"));
    QVERIFY(QFileInfo::exists(pkgs() + "/" + dup));

    for (int row : {alphaRow, betaRow}) {
        QCOMPARE(table->item(row, 0)->checkState(), acts ? Qt::Unchecked : Qt::Checked);
        QCOMPARE(rowPainted(row, move ? moved : deleted), acts);
    }
    // Unmarked rows keep their own colour.
    QCOMPARE(table->item(rowOf(dup), 1)->background().color(), duplicate);
}

void TestFileActions::targets_data()
{
    QTest::addColumn<bool>("alphaChecked");
    QTest::addColumn<int>("betaColumn");
    QTest::newRow("checked row wins over selection") << true << 2;
    QTest::newRow("selected Time cell") << false << 4;
    QTest::newRow("selected Path cell") << false << 5;
    QTest::newRow("selected check box") << false << 0;
}

void TestFileActions::targets()
{
    QFETCH(bool, alphaChecked);
    QFETCH(int, betaColumn);
    QVERIFY(openListed());
    // Sorted by size, the row order no longer follows the record order.
    table->sortItems(3, Qt::DescendingOrder);
    const int alphaRow = rowOf(alpha);
    const int betaRow = rowOf(beta);
    if (alphaChecked) {
        table->item(alphaRow, 0)->setCheckState(Qt::Checked);
    }
    table->setCurrentCell(betaRow, betaColumn);

    click("pushButton_Del");
    QCOMPARE(TestFiles::read(pkgs() + "/" + alpha),
             alphaChecked ? QByteArray("<unreadable>") : QByteArray("alpha package"));
    QCOMPARE(TestFiles::read(pkgs() + "/" + beta),
             alphaChecked ? QByteArray("beta package") : QByteArray("<unreadable>"));
    QCOMPARE(rowPainted(alphaRow, deleted), alphaChecked);
    QCOMPARE(rowPainted(betaRow, deleted), !alphaChecked);
}

void TestFileActions::moveDestination_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("marked");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("text");
    // The destination is checked, and made, before the marks and the question.
    QTest::newRow("none chosen") << QString() << false << QStringList{"Move"}
                                 << "Select Dest Path you want First!";
    QTest::newRow("cannot be made") << "/blocker/sub" << false << QStringList{"Failed"}
                                    << "Create Path <home>/blocker/sub Failed!";
    QTest::newRow("made, then declined")
        << "/dest/new/folder" << true << QStringList{"Move Confirm"}
        << "Move Selected File(s) to DestPath! Confirm?";
    QTest::newRow("made, nothing marked") << "/dest/new/folder" << false << QStringList() << "";
}

void TestFileActions::moveDestination()
{
    QFETCH(QString, destination);
    QFETCH(bool, marked);
    QFETCH(QStringList, titles);
    QFETCH(QString, text);
    QVERIFY(TestFiles::write(home->path() + "/blocker", "a file, not a folder"));
    const QString folder = home->path() + destination;
    // An empty entry leaves the history without a destination.
    openSettingsGroup("RecentDest")->setValue("Path1", destination.isEmpty() ? QString() : folder);
    openSettingsGroup("Param")->setValue("Confirm", 1);

    MessageBoxCatcher catcher(QMessageBox::No);
    QVERIFY(openListed());
    if (marked) {
        table->item(rowOf(alpha), 0)->setCheckState(Qt::Checked);
    }
    click("pushButton_MoveTo");
    QCOMPARE(catcher.titles, titles);
    QCOMPARE(catcher.texts.value(0), text.replace("<home>", home->path()));
    if (destination.startsWith("/dest")) {
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(TestFiles::tree(folder), QStringList());
    }
    QVERIFY(QFileInfo::exists(pkgs() + "/" + alpha));
}

void TestFileActions::nameTakenAtDestination()
{
    QVERIFY(TestFiles::write(dest() + "/" + dup, "someone else's"));
    QVERIFY(TestFiles::write(pkgs() + "/" + dup + ".depend.txt", "twin needs"));

    QVERIFY(openListed());
    const int dupRow = rowOf(dup);
    const int betaRow = rowOf(beta);
    table->item(dupRow, 0)->setCheckState(Qt::Checked);
    table->item(betaRow, 0)->setCheckState(Qt::Checked);

    click("pushButton_MoveTo");
    QCOMPARE(TestFiles::read(pkgs() + "/" + dup), QByteArray("twin"));
    QCOMPARE(TestFiles::read(dest() + "/" + dup), QByteArray("someone else's"));
    // The companion stays with the package that stayed.
    QCOMPARE(TestFiles::tree(dest()), QStringList({beta, dup}));
    QCOMPARE(table->item(dupRow, 0)->checkState(), Qt::Checked);
    QCOMPARE(table->item(dupRow, 1)->background().color(), duplicate);
    QVERIFY(!table->item(dupRow, 0)->data(Qt::BackgroundRole).isValid());
    // The other marked package still goes.
    QCOMPARE(TestFiles::read(dest() + "/" + beta), QByteArray("beta package"));
    QVERIFY(rowPainted(betaRow, moved));
}

void TestFileActions::staleTargetsChangeNothing()
{
    QVERIFY(openListed());
    const int alphaRow = rowOf(alpha);
    table->item(alphaRow, 0)->setCheckState(Qt::Checked);
    click("pushButton_Del");
    QVERIFY(rowPainted(alphaRow, deleted));
    const QStringList trashed = QDir(trashFiles()).entryList(QDir::Files);
    QCOMPARE(trashed.size(), 2);

    // Marked again, its files gone: the second try fails and the row stays as it is.
    table->item(alphaRow, 0)->setCheckState(Qt::Checked);
    // A cell that names no record of the listing is passed over.
    const int betaRow = rowOf(beta);
    table->item(betaRow, 0)->setData(Qt::UserRole, 99);
    table->item(betaRow, 0)->setCheckState(Qt::Checked);
    click("pushButton_Del");

    QCOMPARE(table->item(alphaRow, 0)->checkState(), Qt::Checked);
    QVERIFY(rowPainted(alphaRow, deleted));
    QCOMPARE(table->item(betaRow, 0)->checkState(), Qt::Checked);
    QVERIFY(!rowPainted(betaRow, deleted));
    QCOMPARE(TestFiles::read(pkgs() + "/" + beta), QByteArray("beta package"));
    QCOMPARE(QDir(trashFiles()).entryList(QDir::Files), trashed);
}

void TestFileActions::spaceFlipsMarks_data()
{
    QTest::addColumn<QList<int>>("columns");
    QTest::addColumn<Qt::CheckState>("before");
    QTest::addColumn<Qt::CheckState>("once");
    QTest::addColumn<Qt::CheckState>("twice");
    QTest::newRow("one cell") << QList<int>{3} << Qt::Unchecked << Qt::Checked << Qt::Unchecked;
    QTest::newRow("partly marked")
        << QList<int>{1} << Qt::PartiallyChecked << Qt::Unchecked << Qt::Checked;
    QTest::newRow("two cells of a row")
        << QList<int>{1, 4} << Qt::Unchecked << Qt::Unchecked << Qt::Unchecked;
}

void TestFileActions::spaceFlipsMarks()
{
    QFETCH(QList<int>, columns);
    QFETCH(Qt::CheckState, before);
    QFETCH(Qt::CheckState, once);
    QFETCH(Qt::CheckState, twice);
    QVERIFY(openListed());
    const int row = rowOf(beta);
    table->item(row, 0)->setCheckState(before);
    for (int column : columns) {
        table->setCurrentItem(table->item(row, column), QItemSelectionModel::Select);
    }

    QVERIFY(pressKey(Qt::Key_Space));
    QCOMPARE(table->item(row, 0)->checkState(), once);
    QVERIFY(pressKey(Qt::Key_Space));
    QCOMPARE(table->item(row, 0)->checkState(), twice);
    QCOMPARE(table->item(rowOf(alpha), 0)->checkState(), Qt::Unchecked);
}

void TestFileActions::help_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("start");
    QTest::newRow("CR LF lines") << QByteArray("Line one\r\nLine two \xe2\x88\x9a\r\n")
                                 << QString::fromUtf8("Line one\nLine two \xe2\x88\x9a\n");
    QTest::newRow("zero byte") << QByteArray("before\0after", 12) << "before";
    QTest::newRow("empty") << QByteArray("") << "";
    QTest::newRow("missing") << QByteArray() << "";
}

void TestFileActions::help()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, start);
    const QString helpPath = QCoreApplication::applicationDirPath() + "/help.txt";
    const QByteArray shipped = TestFiles::read(helpPath);
    // The shipped text goes back in place however the test ends.
    const auto restore = qScopeGuard([&] { TestFiles::write(helpPath, shipped); });
    QFile::remove(helpPath);
    if (!file.isNull()) {
        QVERIFY(TestFiles::write(helpPath, file));
    }

    window = std::make_unique<MainWindow>();
    MessageBoxCatcher catcher;
    click("pushButton_Help");
    QCOMPARE(catcher.titles, QStringList{"Help"});
    const QString footer =
        QStringLiteral("\r\n\r\n********\r\nQuillmark (v1.1.1.1)\r\n"
                       "Copyright (C) 2026 Morrowquay. All rights reserved.\r\n" QUILLMARK_SITE);
    QCOMPARE(catcher.texts.value(0), start + footer);
}

void TestFileActions::locateAndOpen()
{
    QVERIFY(openListed());
    const int row = rowOf(dup, "/sub/");
    table->setCurrentCell(row, 2);
    const QString path = window->findChild<QLineEdit*>("lineEdit_FileFullPath")->text();
    QCOMPARE(path, pkgs() + "/sub/" + dup);

    QTest::ignoreMessage(QtDebugMsg, qPrintable("show in file manager: " + path));
    emit table->itemDoubleClicked(table->item(row, 2));
    QTest::ignoreMessage(QtDebugMsg, qPrintable("show in file manager: " + path));
    click("pushButton_FileLocation");
    // Opening the package itself reaches the desktop's handler, which a test has not.
    emit table->itemDoubleClicked(table->item(row, 1));
    QVERIFY(QFileInfo::exists(path));
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
    openSettingsGroup("RecentVar")->setValue("Path1", memory.path());
    window = std::make_unique<MainWindow>();
    table = window->findChild<QTableWidget*>(QStringLiteral("tableWidget_Var"));
    click("pushButton_ListVar");
    QTRY_VERIFY_WITH_TIMEOUT(table->item(0, 5), 10000);
    table->item(0, 0)->setCheckState(Qt::Checked);

    // The window goes on working while the package is copied, and shows how far it is.
    QStringList shown;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        for (const QProgressDialog* dialog : window->findChildren<QProgressDialog*>()) {
            if (dialog->isVisible()) {
                shown << dialog->labelText().section('\n', 0, 0);
            }
        }
    });
    watch.start(5);
    click("pushButton_MoveTo");
    QVERIFY(shown.contains("Moving " + big));
    QVERIFY(TestFiles::read(dest() + "/" + big) == content);
    QCOMPARE(TestFiles::read(dest() + "/" + big + ".depend.txt"), QByteArray("big needs"));
    QCOMPARE(TestFiles::tree(memory.path()), QStringList());
    QVERIFY(rowPainted(0, moved));
}

QTEST_MAIN(TestFileActions)
#include "tst_fileactions.moc"
