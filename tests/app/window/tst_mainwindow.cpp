#include "listedwindow.h"
#include "messageboxcatcher.h"

#include <QApplication>
#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QCheckBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void shortcutsWorkAnywhere_data();
    void shortcutsWorkAnywhere();
    void headerPressSelectsNothing();
    void optionsSurviveRestart();
    void topRowFits_data();
    void topRowFits();
};

void TestMainWindow::shortcutsWorkAnywhere_data()
{
    QTest::addColumn<QString>("focus");
    for (const char* name :
         {"tableWidget_Var", "tableWidget_Depend", "listWidget_InVar", "lineEdit_FileFullPath",
          "comboBox_GamePath", "checkBox_Confirm", "pushButton_Help", "lineEdit_Filter"}) {
        QTest::newRow(name) << name;
    }
}

void TestMainWindow::shortcutsWorkAnywhere()
{
    QFETCH(QString, focus);
    ListedWindow w(QString(), QString(), true);
    w.packages->setRowCount(1);
    for (int column = 0; column < 6; ++column) {
        w.packages->setItem(0, column, new QTableWidgetItem(QString::number(column)));
    }
    w.packages->item(0, 0)->setCheckState(Qt::Unchecked);
    w.packages->setCurrentCell(0, 1);
    QWidget* target = w.window->findChild<QWidget*>(focus);
    // A shortcut needs its window active, also again after a message box has closed.
    const auto press = [&w, target](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QApplication::setActiveWindow(w.window.get());
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target, key, modifiers);
    };

    MessageBoxCatcher catcher(QMessageBox::No);
    press(Qt::Key_V, Qt::ControlModifier); // no destination chosen
    press(Qt::Key_X, Qt::ControlModifier); // asks first, and is told no
    w.click("pushButton_ListVar");         // no folder chosen
    QCOMPARE(catcher.titles, (QStringList{"Move", "Delete Confirm", "Prompt"}));
    press(Qt::Key_Space, Qt::NoModifier);
    // The filter field takes a space as the gap between two words.
    QCOMPARE(w.packages->item(0, 0)->checkState(),
             focus == "lineEdit_Filter" ? Qt::Unchecked : Qt::Checked);
    // The field's clear button fades in through an animation that Qt gives no owner: it
    // frees itself when the fade ends, so the window must outlive the fade.
    QTest::qWait(400);
}

void TestMainWindow::headerPressSelectsNothing()
{
    // A selection would stop the running job and inspect a package.
    ListedWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    w.packages->setRowCount(3);
    for (int row = 0; row < 3; ++row) {
        w.packages->setItem(row, 5, new QTableWidgetItem(QString::number(row)));
    }
    QHeaderView* header = w.packages->horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(5) + header->sectionSize(5) / 2,
                        header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, centre);
    QVERIFY(w.packages->selectedItems().isEmpty());
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, centre);
}

void TestMainWindow::optionsSurviveRestart()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
    const auto options = [](const MainWindow& window) {
        return QList<int>{window.findChild<QCheckBox*>("checkBox_ShowBigImg")->checkState(),
                          window.findChild<QCheckBox*>("checkBox_Confirm")->checkState()};
    };
    {
        MainWindow window;
        QCOMPARE(options(window), (QList<int>{Qt::Unchecked, Qt::Checked}));
        window.findChild<QCheckBox*>("checkBox_ShowBigImg")->setCheckState(Qt::Checked);
        window.findChild<QCheckBox*>("checkBox_Confirm")->setCheckState(Qt::Unchecked);
    }
    QCOMPARE(options(MainWindow()), (QList<int>{Qt::Checked, Qt::Unchecked}));
}

void TestMainWindow::topRowFits_data()
{
    QTest::addColumn<int>("width");       // of the screen, which the window fills
    QTest::addColumn<QString>("fields"); // widths of the path fields; empty: not checked
    for (int width : {1366, 1536, 1600}) {
        QTest::newRow(qPrintable(QString::number(width))) << width << "";
    }
    QTest::newRow("1920") << 1920 << "350 500 300";
    QTest::newRow("2560") << 2560 << "350 500 300";
}

void TestMainWindow::topRowFits()
{
    QFETCH(int, width);
    QFETCH(QString, fields);
    ListedWindow w;
    QWidget* central = w.window->centralWidget();
    QVERIFY(qMax(w.window->minimumSizeHint().width(), central->minimumSizeHint().width()) <= 1366);
    w.window->showNormal();
    w.window->resize(width, 768);
    QTRY_COMPARE(w.window->width(), width);
    // Every control of the row whole, side by side, inside the window.
    const QLayout* row = central->layout()->itemAt(0)->layout();
    int left = 0;
    QStringList widths;
    for (int i = 0; i < row->count(); ++i) {
        if (const QWidget* control = row->itemAt(i)->widget()) {
            const QRect shown = control->geometry();
            QVERIFY2(shown.left() >= left && shown.right() < central->width(), qPrintable(control->objectName()));
            left = shown.right() + 1;
            if (qobject_cast<const QComboBox*>(control) || qobject_cast<const QLineEdit*>(control)) {
                widths << QString::number(shown.width());
            }
        }
    }
    QVERIFY(fields.isEmpty() || widths.join(' ') == fields);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
