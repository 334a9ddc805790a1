#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "settingsstore.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTextDocumentFragment>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void formWidgets_data();
    void formWidgets();
    void tableColumns_data();
    void tableColumns();
    void windowSetUp();
    void layoutPlacesWidgets();
    void headerPressSelectsNothing();
    void shortcutsWorkAnywhere_data();
    void shortcutsWorkAnywhere();
    void optionsSurviveRestart();
    void listWithoutFolderPrompts();
};

void TestMainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainWindow::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
}

void TestMainWindow::formWidgets_data()
{
    // Rows are named by the widgets' object names.
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::newRow("label") << QString("QLabel") << "Dependencies";
    QTest::newRow("progressBar") << QString("QProgressBar") << "";
    QTest::newRow("listWidget_InVar") << QString("QListWidget") << "";
    QTest::newRow("tableWidget_Depend") << QString("QTableWidget") << "";
    QTest::newRow("checkBox_ShowBigImg") << QString("QCheckBox") << "Show BigImage (LongTime!)";
    QTest::newRow("checkBox_Confirm") << QString("QCheckBox") << "Confirm before Delete or Move";
    QTest::newRow("label_2") << QString("QLabel") << "Option:";
    QTest::newRow("tableWidget_Var") << QString("QTableWidget") << "";
    QTest::newRow("label_3") << QString("QLabel") << "Var Path:";
    QTest::newRow("pushButton_BrowsePath") << QString("QPushButton") << "...";
    QTest::newRow("pushButton_ListVar") << QString("QPushButton") << "List";
    QTest::newRow("lineEdit_FileFullPath") << QString("QLineEdit") << "";
    QTest::newRow("pushButton_FileLocation") << QString("QPushButton") << "File Location";
    QTest::newRow("pushButton_MoveTo") << QString("QPushButton") << " Move To (Ctrl+V) ";
    QTest::newRow("pushButton_BrowseDestDir") << QString("QPushButton") << "...";
    QTest::newRow("pushButton_Del") << QString("QPushButton") << " Delete File (Ctrl+X) ";
    QTest::newRow("pushButton_Help") << QString("QPushButton") << "Help...";
    QTest::newRow("comboBox_GamePath") << QString("QComboBox") << "";
    QTest::newRow("comboBox_DestPath") << QString("QComboBox") << "";
    QTest::newRow("label_Link") << QString("QLabel") << "Quillmark MainSite";
    QTest::newRow("lineEdit_Filter") << QString("QLineEdit") << "";
    QTest::newRow("pushButton_Library") << QString("QPushButton") << "Library...";
}

void TestMainWindow::formWidgets()
{
    QFETCH(QString, className);
    QFETCH(QString, text);
    MainWindow window;
    const QString name = QTest::currentDataTag();
    QWidget* widget = window.findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString(widget->metaObject()->className()), className);
    QVERIFY(window.centralWidget()->isAncestorOf(widget));
    QString shown;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        shown = button->text();
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        shown = QTextDocumentFragment::fromHtml(label->text()).toPlainText();
    }
    QCOMPARE(shown, text);
}

void TestMainWindow::tableColumns_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QList<int>>("widths");
    QTest::newRow("packages") << "tableWidget_Var"
                              << QStringList{" ", "FileName", "Name", "MB", "Time", "Path"}
                              << QList<int>{15, 240, 180, 60, 130, 220};
    QTest::newRow("dependencies") << "tableWidget_Depend"
                                  << QStringList{"Dependence Name", "Exist", "LicenseType"}
                                  << QList<int>{320, 50, 120};
}

void TestMainWindow::tableColumns()
{
    QFETCH(QString, table);
    QFETCH(QStringList, labels);
    QFETCH(QList<int>, widths);
    MainWindow window;
    auto* widget = window.findChild<QTableWidget*>(table);
    QCOMPARE(widget->columnCount(), labels.size());
    QCOMPARE(widget->editTriggers(), QAbstractItemView::NoEditTriggers);
    for (int column = 0; column < labels.size(); ++column) {
        QCOMPARE(widget->horizontalHeaderItem(column)->text(), labels.at(column));
        // The header never makes a section narrower than its minimum.
        QCOMPARE(widget->columnWidth(column),
                 qMax(widths.at(column), widget->horizontalHeader()->minimumSectionSize()));
    }
}

void TestMainWindow::windowSetUp()
{
    MainWindow window;
    QVERIFY(window.windowState() & Qt::WindowMaximized);
    QCOMPARE(window.windowTitle(),
             QString("Quillmark V1.1 (by Morrowquay - https://www.morrowquay.com/quillmark)"));
    QVERIFY(window.findChild<QTableWidget*>("tableWidget_Var")
                ->horizontalHeader()
                ->isSortIndicatorShown());

    auto* progress = window.findChild<QProgressBar*>("progressBar");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 99);
    QCOMPARE(progress->value(), 99);

    auto* contents = window.findChild<QListWidget*>("listWidget_InVar");
    QCOMPARE(contents->viewMode(), QListView::IconMode);
    QCOMPARE(contents->iconSize(), QSize(256, 256));
    QCOMPARE(contents->spacing(), 2);
    QCOMPARE(contents->resizeMode(), QListView::Adjust);
    QCOMPARE(contents->movement(), QListView::Static);
    QVERIFY(contents->wordWrap());
    QVERIFY(contents->isSortingEnabled());

    auto* link = window.findChild<QLabel*>("label_Link");
    QVERIFY(link->openExternalLinks());
    QVERIFY(link->text().contains("href=\"https://www.morrowquay.com/quillmark\""));
    QVERIFY(window.findChild<QLineEdit*>("lineEdit_FileFullPath")->isReadOnly());
    QCOMPARE(window.findChild<QPushButton*>("pushButton_MoveTo")->styleSheet(),
             QString("color: rgb(255,255,255);background-color: rgb(0,180,0)"));
    QCOMPARE(window.findChild<QPushButton*>("pushButton_Del")->styleSheet(),
             QString("color: rgb(255,255,255);background-color: rgb(180,0,0)"));
}

void TestMainWindow::layoutPlacesWidgets()
{
    MainWindow window;
    auto* mainLayout = qobject_cast<QVBoxLayout*>(window.centralWidget()->layout());
    QVERIFY(mainLayout);
    QCOMPARE(mainLayout->count(), 3);

    auto* top = qobject_cast<QHBoxLayout*>(mainLayout->itemAt(0)->layout());
    QVERIFY(top);
    QCOMPARE(top->itemAt(0)->widget()->objectName(), QString("label_3"));
    QCOMPARE(top->itemAt(top->count() - 1)->widget()->objectName(), QString("pushButton_Del"));
    QCOMPARE(top->count(), 13);

    auto* outer = qobject_cast<QSplitter*>(mainLayout->itemAt(1)->widget());
    QVERIFY(outer);
    QCOMPARE(outer->orientation(), Qt::Horizontal);
    auto* inner = qobject_cast<QSplitter*>(outer->widget(0));
    QVERIFY(inner);
    QCOMPARE(inner->orientation(), Qt::Vertical);
    QVERIFY(!inner->opaqueResize());
    QCOMPARE(inner->widget(0)->objectName(), QString("lineEdit_Filter"));
    QCOMPARE(inner->widget(1)->objectName(), QString("tableWidget_Var"));
    QCOMPARE(inner->widget(2)->objectName(), QString("tabWidget_Depend"));
    QCOMPARE(outer->widget(1)->objectName(), QString("listWidget_InVar"));

    auto* bottom = qobject_cast<QHBoxLayout*>(mainLayout->itemAt(2)->layout());
    QVERIFY(bottom);
    QCOMPARE(bottom->itemAt(0)->widget()->objectName(), QString("label_2"));
    QCOMPARE(bottom->itemAt(bottom->count() - 1)->widget()->objectName(),
             QString("pushButton_Help"));
}

void TestMainWindow::headerPressSelectsNothing()
{
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* table = window.findChild<QTableWidget*>("tableWidget_Var");
    table->setRowCount(3);
    for (int row = 0; row < 3; ++row) {
        table->setItem(row, 5, new QTableWidgetItem(QString::number(row)));
    }
    QHeaderView* header = table->horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(5) + header->sectionSize(5) / 2,
                        header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, centre);
    QVERIFY(table->selectedItems().isEmpty());
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, centre);
}

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
    MainWindow window;
    auto* table = window.findChild<QTableWidget*>("tableWidget_Var");
    table->setRowCount(1);
    for (int column = 0; column < 6; ++column) {
        table->setItem(0, column, new QTableWidgetItem(QString::number(column)));
    }
    table->item(0, 0)->setCheckState(Qt::Unchecked);
    table->setCurrentCell(0, 1);
    QWidget* target = window.findChild<QWidget*>(focus);
    // A shortcut needs its window active, also again after a message box has closed.
    const auto press = [&window, target](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target, key, modifiers);
    };

    MessageBoxCatcher catcher(QMessageBox::No);
    press(Qt::Key_V, Qt::ControlModifier); // no destination chosen yet
    press(Qt::Key_X, Qt::ControlModifier); // asks first, and is told no
    QCOMPARE(catcher.titles, (QStringList{"Move", "Delete Confirm"}));
    press(Qt::Key_Space, Qt::NoModifier);
    // The filter field takes a space as the gap between two words.
    QCOMPARE(table->item(0, 0)->checkState(),
             focus == "lineEdit_Filter" ? Qt::Unchecked : Qt::Checked);
}

void TestMainWindow::optionsSurviveRestart()
{
    // The states of "Show BigImage" and "Confirm".
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
    const auto param = openSettingsGroup("Param");
    QCOMPARE(param->value("ShowBigImg").toInt(), 1);
    QCOMPARE(param->value("Confirm").toInt(), 0);
    QCOMPARE(options(MainWindow()), (QList<int>{Qt::Checked, Qt::Unchecked}));
    // Only the value 1 counts as checked.
    param->setValue("ShowBigImg", "yes");
    param->setValue("Confirm", 2);
    param->sync();
    QCOMPARE(options(MainWindow()), (QList<int>{Qt::Unchecked, Qt::Unchecked}));
}

void TestMainWindow::listWithoutFolderPrompts()
{
    MainWindow window;
    MessageBoxCatcher catcher;
    QTest::mouseClick(window.findChild<QPushButton*>("pushButton_ListVar"), Qt::LeftButton);
    QCOMPARE(catcher.titles, QStringList{"Prompt"});
    QCOMPARE(catcher.texts, QStringList{"Must Select Path First!"});
    QCOMPARE(window.findChild<QProgressBar*>("progressBar")->value(), 99);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
