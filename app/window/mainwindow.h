// Part "window": the main window, its tabs, filter and status, the library report and
// the worker it drives. The only part that talks to the user; uses the inspection, the
// file actions and the library engine, and nothing uses it but the entry function.
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "hcombohistory.h"
#include "packagerows.h"
#include "threadman.h"

#include <QColor>
#include <QList>
#include <QMainWindow>

#include <memory>

class DependencyTabs;
class LibraryAnalysis;
class LibraryCatalog;
class LibraryIndex;
class LibraryWindow;
class PackageFilter;
class QHBoxLayout;
class QTableWidgetItem;
class QVBoxLayout;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_pushButton_BrowsePath_clicked();
    void on_pushButton_ListVar_clicked();
    void on_tableWidget_Var_itemSelectionChanged();
    void on_pushButton_FileLocation_clicked();
    void on_fillTable(int tableIndex, int row, int column, QTableWidgetItem* item);
    void on_setProg(int pos1, int pos2);
    void on_checkBox_ShowBigImg_stateChanged(int arg1);
    void on_tableWidget_Var_itemDoubleClicked(QTableWidgetItem* item);
    void on_pushButton_Help_clicked();
    void on_pushButton_Del_clicked();
    void on_pushButton_BrowseDestDir_clicked();
    void on_pushButton_MoveTo_clicked();
    void on_fileTableItemColor(int row, QColor color);
    void on_comboBox_GamePath_currentIndexChanged(int index);
    void on_comboBox_DestPath_currentIndexChanged(int index);
    void on_pressSpaceBar();
    void on_varTableHeaderClicked(int nCol);
    void on_initTableSort();
    void on_pushButton_Library_clicked();

private:
    void loadSaveSettings(bool load);
    void createActions();
    void setupWindow();
    void connectWorker();
    /// The library index and what shows it: the filter, the "Used by" tab, the status
    /// bar's part and the report window.
    void setupLibrary();
    void jobFinished();
    /// Hands what the last listing found to the library index, once no job runs.
    void followListing();
    /// The index's catalog of `folder`, read as far as it is; null for another folder.
    std::shared_ptr<const LibraryCatalog> liveCatalog(const QString& folder) const;
    /// The index's catalog when it is one of the folder listed and has been read once;
    /// null otherwise.
    std::shared_ptr<const LibraryCatalog> listedCatalog() const;
    void showCatalog();
    PackageRows packageRows() const;
    void selectPackage(const QString& path);
    void markPackages(const QStringList& paths);
    /// How many packages the targets are, how many the filter hides and which
    /// packages would lose a dependency.
    QString removalSummary(const QList<QTableWidgetItem*>& items) const;
    void removeTargets(const QList<QTableWidgetItem*>& items, int mode, const QString& dest);
    /// Stops a running listing; the rows already placed stay.
    void stopListing();
    void showListingRunning(bool running);
    void updateSortIndicator(int column);
    bool getTargetItems(QList<QTableWidgetItem*>& items);
    /// Asks before a move or delete when the user wants to be asked; any answer but
    /// Yes cancels.
    bool confirmed(const QString& title, const QString& text,
                   const QList<QTableWidgetItem*>& items);

    threadMan worker;
    QVBoxLayout* mainLayout = nullptr;
    QHBoxLayout* topRow = nullptr;
    QHBoxLayout* bottomRow = nullptr;
    HComboHistory varHistory;
    HComboHistory destHistory;
    Ui::MainWindow* ui;
    int sortState[6];

    LibraryIndex* libraryIndex = nullptr;
    LibraryAnalysis* analysis = nullptr;
    PackageFilter* filter = nullptr;
    DependencyTabs* dependencyTabs = nullptr;
    LibraryWindow* libraryWindow = nullptr;
    // The folder of the running or last listing, whether the window has yet to take up
    // its end, and whether the index has yet to follow it.
    QString listedFolder;
    bool listingPending = false;
    bool indexPending = false;
};

#endif // MAINWINDOW_H
