#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "rawzip.h"
#include "settingsstore.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMutex>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QMutex messagesLock;
QStringList messages;

// Keeps every debug line, from whichever thread, to look for the one about 7-Zip.
void collect(QtMsgType, const QMessageLogContext&, const QString& text)
{
    const QMutexLocker locker(&messagesLock);
    messages << text;
}

bool said(const QString& text)
{
    const QMutexLocker locker(&messagesLock);
    return !messages.filter(text).isEmpty();
}

} // namespace

// Everything that does not need 7-Zip works without it, and the window stays calm.
class TestNoSevenZip : public QObject
{
    Q_OBJECT
private slots:
    void windowWorksWithoutSevenZip();
};

void TestNoSevenZip::windowWorksWithoutSevenZip()
{
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString missing = root.path() + "/no/such/7z";
    qputenv("DOVETALK_7Z", QFile::encodeName(missing));
    const QtMessageHandler previousHandler = qInstallMessageHandler(collect);
    const auto restore =
        qScopeGuard([previousHandler] { qInstallMessageHandler(previousHandler); });

    const QString folder = root.path() + "/packages";
    const QString dest = root.path() + "/dest";
    const QList<RawZip::Member> members{{"meta.json",
                                         R"({"dependencies": {"A.B.1": {"licenseType": "FC"}}})",
                                         RawZip::Member::File},
                                        {"Saves/scene/s.json", "{}", RawZip::Member::File}};
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(RawZip::write(folder + "/A.First.1.var", members));
    QVERIFY(RawZip::write(folder + "/B.Second.1.var", members));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
    openSettingsGroup("RecentVar")->setValue("Path1", folder);
    openSettingsGroup("RecentDest")->setValue("Path1", dest);
    openSettingsGroup("Param")->setValue("Confirm", 0);

    MessageBoxCatcher boxes;
    MainWindow window;
    auto* packages = window.findChild<QTableWidget*>("tableWidget_Var");
    auto* contents = window.findChild<QListWidget*>("listWidget_InVar");
    const auto click = [&window](const char* name) {
        QTest::mouseClick(window.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
    };
    click("pushButton_ListVar");
    QTRY_VERIFY_WITH_TIMEOUT(packages->rowCount() == 2 && packages->item(1, 5) != nullptr, 10000);

    // The inspection shows nothing and names what is missing in a debug line.
    contents->addItem("stale");
    packages->selectRow(0);
    QCOMPARE(window.findChild<QLineEdit*>("lineEdit_FileFullPath")->text(),
             folder + "/A.First.1.var");
    QTRY_VERIFY_WITH_TIMEOUT(said("7-Zip not found: DOVETALK_7Z names no program: \"" + missing),
                             10000);
    QTRY_COMPARE_WITH_TIMEOUT(contents->count(), 0, 10000);
    QCOMPARE(window.findChild<QTableWidget*>("tableWidget_Depend")->rowCount(), 0);

    // Moving and deleting need no archive program.
    packages->item(0, 0)->setCheckState(Qt::Checked);
    click("pushButton_MoveTo");
    QVERIFY(QFile::exists(dest + "/A.First.1.var"));
    QVERIFY(!QFile::exists(folder + "/A.First.1.var"));
    packages->selectRow(1);
    click("pushButton_Del");
    QVERIFY(!QFile::exists(folder + "/B.Second.1.var"));
    QVERIFY(boxes.titles.isEmpty());

    click("pushButton_Help");
    QTRY_COMPARE_WITH_TIMEOUT(boxes.titles, QStringList{"Help"}, 5000);
}

QTEST_MAIN(TestNoSevenZip)
#include "tst_nosevenzip.moc"
