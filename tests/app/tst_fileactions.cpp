#include "appinfo.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "settingsstore.h"
#include "testfiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
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

void setHistory(const QString& group, const QString& path)
{
    const auto settings = openSettingsGroup(group);
    settings->remove(QString());
    if (!path.isEmpty()) {
        settings->setValue(QStringLiteral("Path1"), path);
    }
}

void setConfirm(bool confirm)
{
    openSettingsGroup(QStringLiteral("Param"))
        ->setValue(QStringLiteral("Confirm"), confirm ? 1 : 0);
}

QTableWidget* varTable(MainWindow& window)
{
    return window.findChild<QTableWidget*>(QStringLiteral("tableWidget_Var"));
}

void click(MainWindow& window, const char* name)
{
    QTest::mouseClick(window.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
}

int rowOf(QTableWidget* table, const QString& name, const QString& folder = QStringLiteral("/"))
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 1)->text() == name && table->item(row, 5)->text() == folder) {
            return row;
        }
    }
    return -1;
}

bool rowPainted(QTableWidget* table, int row, const QColor& colour)
{
    for (int column = 0; column < 6; ++column) {
        if (table->item(row, column)->background().color() != colour) {
            return false;
        }
    }
    return true;
}

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
    void checkedRowsWinOverSelection();
    void selectedCellActsOnItsRow_data();
    void selectedCellActsOnItsRow();
    void moveStopsAtDestination_data();
    void moveStopsAtDestination();
    void missingDestinationIsCreatedFirst_data();
    void missingDestinationIsCreatedFirst();
    void nameTakenAtDestination();
    void staleTargetsChangeNothing();
    void spaceFlipsMarks_data();
    void spaceFlipsMarks();
    void help_data();
    void help();
    void locateAndOpen();

private:
    // Lists the collection and waits until the listing thread has ended.
    void listPackages(MainWindow& window);
    QString pkgs() const { return home->path() + QStringLiteral("/pkgs"); }
    QString dest() const { return home->path() + QStringLiteral("/dest"); }

    std::unique_ptr<QTemporaryDir> home;
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
    QVERIFY(TestFiles::write(pkgs() + "/" + alpha, "alpha package"));
    QVERIFY(TestFiles::write(pkgs() + "/" + alpha + ".depend.txt", "alpha needs"));
    QVERIFY(TestFiles::write(pkgs() + "/Creator.Alpha.1.jpg", "picture"));
    QVERIFY(TestFiles::write(pkgs() + "/Creator.Alpha.1.depend.txt", "not a companion"));
    QVERIFY(TestFiles::write(pkgs() + "/" + beta, "beta package"));
    QVERIFY(TestFiles::write(pkgs() + "/" + dup, "twin"));
    QVERIFY(TestFiles::write(pkgs() + "/sub/" + dup, "twin"));
    setHistory(QStringLiteral("RecentVar"), pkgs());
    setHistory(QStringLiteral("RecentDest"), QString());
    setConfirm(false);
}

void TestFileActions::cleanup()
{
    home.reset();
}

void TestFileActions::listPackages(MainWindow& window)
{
    QTableWidget* table = varTable(window);
    click(window, "pushButton_ListVar");
    QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() == 4 && table->item(3, 5) != nullptr, 10000);
    // A selection stops and waits for the worker; the listing has already sent all.
    table->setCurrentCell(0, 1);
    table->clearSelection();
}

void TestFileActions::actOnMarkedRows_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("shortcut");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<bool>("acts");

    const QStringList none;
    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    QTest::newRow("delete, confirmed")
        << false << true << false << yes << QStringList{"Delete Confirm"} << true;
    QTest::newRow("delete, declined")
        << false << true << false << no << QStringList{"Delete Confirm"} << false;
    QTest::newRow("delete, no question") << false << false << false << no << none << true;
    QTest::newRow("delete by Ctrl+X") << false << false << true << no << none << true;
    QTest::newRow("move, confirmed")
        << true << true << false << yes << QStringList{"Move Confirm"} << true;
    QTest::newRow("move, declined")
        << true << true << false << no << QStringList{"Move Confirm"} << false;
    QTest::newRow("move, no question") << true << false << false << no << none << true;
    QTest::newRow("move by Ctrl+V") << true << false << true << no << none << true;
}

void TestFileActions::actOnMarkedRows()
{
    QFETCH(bool, move);
    QFETCH(bool, confirm);
    QFETCH(bool, shortcut);
    QFETCH(int, answer);
    QFETCH(QStringList, titles);
    QFETCH(bool, acts);
    setConfirm(confirm);
    setHistory(QStringLiteral("RecentDest"), dest());

    MainWindow window;
    MessageBoxCatcher catcher{QMessageBox::StandardButton(answer)};
    listPackages(window);
    if (QTest::currentTestFailed()) {
        return;
    }
    QTableWidget* table = varTable(window);
    const int alphaRow = rowOf(table, alpha);
    const int betaRow = rowOf(table, beta);
    table->item(alphaRow, 0)->setCheckState(Qt::Checked);
    table->item(betaRow, 0)->setCheckState(Qt::Checked);

    if (shortcut) {
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, move ? Qt::Key_V : Qt::Key_X, Qt::ControlModifier);
    } else {
        click(window, move ? "pushButton_MoveTo" : "pushButton_Del");
    }

    QCOMPARE(catcher.titles, titles);
    if (!titles.isEmpty()) {
        QCOMPARE(catcher.texts.value(0),
                 move ? QString("Move Selected File(s) to DestPath! Confirm?")
                      : QString("Delete Selected File(s)! Confirm?"));
    }
    // The companion goes along; files that only look like one stay.
    const QString target = move ? dest() : trashFiles();
    const QMap<QString, QByteArray> travelling{
        {alpha, "alpha package"}, {alpha + ".depend.txt", "alpha needs"}, {beta, "beta package"}};
    for (auto it = travelling.cbegin(); it != travelling.cend(); ++it) {
        QCOMPARE(QFileInfo::exists(pkgs() + "/" + it.key()), !acts);
        QCOMPARE(TestFiles::read(target + "/" + it.key()), acts ? it.value() : QByteArray("<unreadable>"));
    }
    QVERIFY(QFileInfo::exists(pkgs() + "/Creator.Alpha.1.jpg"));
    QVERIFY(QFileInfo::exists(pkgs() + "/Creator.Alpha.1.depend.txt"));
    QVERIFY(QFileInfo::exists(pkgs() + "/" + dup));

    for (int row : {alphaRow, betaRow}) {
        QCOMPARE(table->item(row, 0)->checkState(), acts ? Qt::Unchecked : Qt::Checked);
        QCOMPARE(rowPainted(table, row, move ? moved : deleted), acts);
    }
    // Unmarked rows keep their own colour.
    QCOMPARE(table->item(rowOf(table, dup), 1)->background().color(), duplicate);
}

void TestFileActions::checkedRowsWinOverSelection()
{
    MainWindow window;
    listPackages(window);
    if (QTest::currentTestFailed()) {
        return;
    }
    QTableWidget* table = varTable(window);
    table->item(rowOf(table, alpha), 0)->setCheckState(Qt::Checked);
    table->setCurrentCell(rowOf(table, beta), 2);

    click(window, "pushButton_Del");
    QVERIFY(!QFileInfo::exists(pkgs() + "/" + alpha));
    QCOMPARE(TestFiles::read(pkgs() + "/" + beta), QByteArray("beta package"));
    QVERIFY(rowPainted(table, rowOf(table, alpha), deleted));
    QVERIFY(!rowPainted(table, rowOf(table, beta), deleted));
}

void TestFileActions::selectedCellActsOnItsRow_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("Time") << 4;
    QTest::newRow("Path") << 5;
    QTest::newRow("check box") << 0;
}

void TestFileActions::selectedCellActsOnItsRow()
{
    QFETCH(int, column);
    MainWindow window;
    listPackages(window);
    if (QTest::currentTestFailed()) {
        return;
    }
    QTableWidget* table = varTable(window);
    // Sorted by size, the row order no longer follows the record order.
    table->sortItems(3, Qt::DescendingOrder);
    const int betaRow = rowOf(table, beta);
    table->setCurrentCell(betaRow, column);

    click(window, "pushButton_Del");
    QVERIFY(!QFileInfo::exists(pkgs() + "/" + beta));
    QCOMPARE(TestFiles::read(pkgs() + "/" + alpha), QByteArray("alpha package"));
    QVERIFY(rowPainted(table, betaRow, deleted));
}

void TestFileActions::moveStopsAtDestination_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("none chosen") << QString() << "Move"
                                 << "Select Dest Path you want First!";
    QTest::newRow("cannot be made") << "/blocker/sub"
                                    << "Failed"
                                    << "Create Path <home>/blocker/sub Failed!";
}

void TestFileActions::moveStopsAtDestination()
{
    QFETCH(QString, destination);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QVERIFY(TestFiles::write(home->path() + "/blocker", "a file, not a folder"));
    if (!destination.isEmpty()) {
        setHistory(QStringLiteral("RecentDest"), home->path() + destination);
    }
    setConfirm(true);

    // Nothing listed and nothing marked: the destination is checked first all the same.
    MainWindow window;
    MessageBoxCatcher catcher(QMessageBox::Yes);
    click(window, "pushButton_MoveTo");
    QCOMPARE(catcher.titles, QStringList{title});
    QCOMPARE(catcher.texts, QStringList{text.replace("<home>", home->path())});
}

void TestFileActions::missingDestinationIsCreatedFirst_data()
{
    QTest::addColumn<bool>("marked");
    QTest::newRow("marked, declined") << true;
    QTest::newRow("nothing marked") << false;
}

void TestFileActions::missingDestinationIsCreatedFirst()
{
    QFETCH(bool, marked);
    const QString newFolder = dest() + "/new/folder";
    setHistory(QStringLiteral("RecentDest"), newFolder);
    setConfirm(true);

    MainWindow window;
    MessageBoxCatcher catcher(QMessageBox::No);
    listPackages(window);
    if (QTest::currentTestFailed()) {
        return;
    }
    QTableWidget* table = varTable(window);
    if (marked) {
        table->item(rowOf(table, alpha), 0)->setCheckState(Qt::Checked);
    }
    click(window, "pushButton_MoveTo");
    QCOMPARE(catcher.titles, marked ? QStringList{"Move Confirm"} : QStringList());
    QVERIFY(QFileInfo(newFolder).isDir());
    QCOMPARE(QDir(newFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(QFileInfo::exists(pkgs() + "/" + alpha));
}

void TestFileActions::nameTakenAtDestination()
{
    setHistory(QStringLiteral("RecentDest"), dest());
    QVERIFY(TestFiles::write(dest() + "/" + dup, "someone else's"));

    MainWindow window;
    listPackages(window);
    if (QTest::currentTestFailed()) {
        return;
    }
    QTableWidget* table = varTable(window);
    const int dupRow = rowOf(table, dup);
    const int betaRow = rowOf(table, beta);
    table->item(dupRow, 0)->setCheckState(Qt::Checked);
    table->item(betaRow, 0)->setCheckState(Qt::Checked);

    click(window, "pushButton_MoveTo");
    QCOMPARE(TestFiles::read(pkgs() + "/" + dup), QByteArray("twin"));
    QCOMPARE(TestFiles::read(dest() + "/" + dup), QByteArray("someone else's"));
    QCOMPARE(table->item(dupRow, 0)->checkState(), Qt::Checked);
    QCOMPARE(table->item(dupRow, 1)->background().color(), duplicate);
    QVERIFY(!table->item(dupRow, 0)->data(Qt::BackgroundRole).isValid());
    // The other marked package still goes.
    QCOMPARE(TestFiles::read(dest() + "/" + beta), QByteArray("beta package"));
    QVERIFY(rowPainted(table, betaRow, moved));
}

void TestFileActions::staleTargetsChangeNothing()
{
    MainWindow window;
    listPackages(window);
    if (QTest::currentTestFailed()) {
        return;
    }
    QTableWidget* table = varTable(window);
    const int alphaRow = rowOf(table, alpha);
    table->item(alphaRow, 0)->setCheckState(Qt::Checked);
    click(window, "pushButton_Del");
    QVERIFY(rowPainted(table, alphaRow, deleted));
    const QStringList trashed = QDir(trashFiles()).entryList(QDir::Files);
    QCOMPARE(trashed.size(), 2);

    // Marked again, its files gone: the second try fails and the row stays as it is.
    table->item(alphaRow, 0)->setCheckState(Qt::Checked);
    // A cell that names no record of the listing is passed over.
    const int betaRow = rowOf(table, beta);
    table->item(betaRow, 0)->setData(Qt::UserRole, 99);
    table->item(betaRow, 0)->setCheckState(Qt::Checked);
    click(window, "pushButton_Del");

    QCOMPARE(table->item(alphaRow, 0)->checkState(), Qt::Checked);
    QVERIFY(rowPainted(table, alphaRow, deleted));
    QCOMPARE(table->item(betaRow, 0)->checkState(), Qt::Checked);
    QVERIFY(!rowPainted(table, betaRow, deleted));
    QCOMPARE(TestFiles::read(pkgs() + "/" + beta), QByteArray("beta package"));
    QCOMPARE(QDir(trashFiles()).entryList(QDir::Files), trashed);
}

void TestFileActions::spaceFlipsMarks_data()
{
    QTest::addColumn<QList<int>>("columns");
    QTest::addColumn<Qt::CheckState>("before");
    QTest::addColumn<Qt::CheckState>("after");
    QTest::newRow("one cell marks") << QList<int>{3} << Qt::Unchecked << Qt::Checked;
    QTest::newRow("one cell unmarks") << QList<int>{3} << Qt::Checked << Qt::Unchecked;
    QTest::newRow("partly marked unmarks")
        << QList<int>{1} << Qt::PartiallyChecked << Qt::Unchecked;
    QTest::newRow("two cells of a row") << QList<int>{1, 4} << Qt::Unchecked << Qt::Unchecked;
}

void TestFileActions::spaceFlipsMarks()
{
    QFETCH(QList<int>, columns);
    QFETCH(Qt::CheckState, before);
    QFETCH(Qt::CheckState, after);
    MainWindow window;
    listPackages(window);
    if (QTest::currentTestFailed()) {
        return;
    }
    QTableWidget* table = varTable(window);
    const int row = rowOf(table, beta);
    table->item(row, 0)->setCheckState(before);
    for (int column : columns) {
        table->setCurrentItem(table->item(row, column), QItemSelectionModel::Select);
    }
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_Space);
    QCOMPARE(table->item(row, 0)->checkState(), after);
    QTest::keyClick(&window, Qt::Key_Space);
    const Qt::CheckState twice =
        columns.size() % 2 == 0 ? before : (after == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    QCOMPARE(table->item(row, 0)->checkState(), twice);
    QCOMPARE(table->item(rowOf(table, alpha), 0)->checkState(), Qt::Unchecked);
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

    MainWindow window;
    MessageBoxCatcher catcher;
    click(window, "pushButton_Help");
    QCOMPARE(catcher.titles, QStringList{"Help"});
    const QString footer =
        QStringLiteral("\r\n\r\n********\r\nQuillmark (v1.1.1.1)\r\n"
                       "Copyright (C) 2026 Morrowquay. All rights reserved.\r\n" QUILLMARK_SITE);
    QCOMPARE(catcher.texts.value(0), start + footer);
}

void TestFileActions::locateAndOpen()
{
    MainWindow window;
    listPackages(window);
    if (QTest::currentTestFailed()) {
        return;
    }
    QTableWidget* table = varTable(window);
    const int row = rowOf(table, dup, "/sub/");
    table->setCurrentCell(row, 2);
    const QString path = window.findChild<QLineEdit*>("lineEdit_FileFullPath")->text();
    QCOMPARE(path, pkgs() + "/sub/" + dup);

    QTest::ignoreMessage(QtDebugMsg, qPrintable("show in file manager: " + path));
    emit table->itemDoubleClicked(table->item(row, 2));
    QTest::ignoreMessage(QtDebugMsg, qPrintable("show in file manager: " + path));
    click(window, "pushButton_FileLocation");
    // Opening the package itself reaches the desktop's handler, which a test has not.
    emit table->itemDoubleClicked(table->item(row, 1));
    QVERIFY(QFileInfo::exists(path));
}

QTEST_MAIN(TestFileActions)
#include "tst_fileactions.moc"
