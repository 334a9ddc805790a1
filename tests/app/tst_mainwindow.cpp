#include "mainwindow.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QTableWidget>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void packageTableHeaders();
};

void TestMainWindow::packageTableHeaders()
{
    MainWindow window;
    auto* table = window.findChild<QTableWidget*>("tableWidget_Var");
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 6);
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QString("FileName"));
    QVERIFY(table->horizontalHeader()->isSortIndicatorShown());
    auto* progress = window.findChild<QProgressBar*>("progressBar");
    QCOMPARE(progress->value(), 99);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
