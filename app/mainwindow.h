#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "hcombohistory.h"
#include "threadman.h"

#include <QColor>
#include <QList>
#include <QMainWindow>

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

private:
    void loadSaveSettings(bool load);
    void createActions();
    void setupWindow();
    void connectWorker();
    void updateSortIndicator(int column);
    bool getTargetItems(QList<QTableWidgetItem*>& items);
    /// Asks before a move or delete when the user wants to be asked; any answer but
    /// Yes cancels.
    bool confirmed(const QString& title, const QString& text);

    threadMan worker;
    QVBoxLayout* mainLayout = nullptr;
    QHBoxLayout* topRow = nullptr;
    QHBoxLayout* bottomRow = nullptr;
    HComboHistory varHistory;
    HComboHistory destHistory;
    Ui::MainWindow* ui;
    int sortState[6];
};

#endif // MAINWINDOW_H
