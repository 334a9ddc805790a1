#include "listedwindow.h"

#include "settingsstore.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

ListedWindow::ListedWindow(const QString& folder, const QString& dest, bool confirm)
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
    openSettingsGroup("RecentVar")->setValue("Path1", folder);
    openSettingsGroup("RecentDest")->setValue("Path1", dest);
    openSettingsGroup("Param")->setValue("Confirm", confirm ? 1 : 0);
    window = std::make_unique<MainWindow>();
    packages = window->findChild<QTableWidget*>("tableWidget_Var");
    deps = window->findChild<QTableWidget*>("tableWidget_Depend");
    contents = window->findChild<QListWidget*>("listWidget_InVar");
}

bool ListedWindow::list(bool wait)
{
    // The end of a listing puts the sort indicator on "FileName": take it off first.
    packages->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    click("pushButton_ListVar");
    return !wait || QTest::qWaitFor([this] { return listingEnded(); }, 20000);
}

bool ListedWindow::listingEnded() const
{
    return packages->horizontalHeader()->sortIndicatorSection() == 1;
}

void ListedWindow::click(const char* button)
{
    QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);
}

QString ListedWindow::shownPath() const
{
    return window->findChild<QLineEdit*>("lineEdit_FileFullPath")->text();
}

int ListedWindow::rowOf(const QString& fileName) const
{
    // Only the file name column: the benchmarks look through tens of thousands of rows.
    for (int row = 0; row < packages->rowCount(); ++row) {
        const QTableWidgetItem* item = packages->item(row, 1);
        if (item != nullptr && item->text() == fileName) {
            return row;
        }
    }
    return -1;
}

QStringList ListedWindow::column(int column) const
{
    QStringList texts;
    for (int row = 0; row < packages->rowCount(); ++row) {
        texts << (packages->item(row, column) ? packages->item(row, column)->text() : QString());
    }
    return texts;
}
