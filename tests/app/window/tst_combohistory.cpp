#include "hcombohistory.h"
#include "settingsstore.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QtTest>

class TestComboHistory : public QObject
{
    Q_OBJECT
private slots:
    void history();
};

void TestComboHistory::history()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
    const auto recent = openSettingsGroup("RecentVar");
    for (int i = 1; i <= 10; ++i) {
        recent->setValue(QString("Path%1").arg(i), QString("/old/%1").arg(i));
    }
    QTemporaryDir folders;
    const auto inFolders = [&](QStringList names) {
        return names.replaceInStrings(QRegularExpression("^(\\w)"), folders.path() + "/\\1");
    };
    QComboBox combo, other;
    HComboHistory history, otherHistory;
    connect(&combo, QOverload<int>::of(&QComboBox::currentIndexChanged),
            [&](int index) { history.onCurrentIndexChanged(index); });
    history.init(nullptr, &combo, "Var");
    otherHistory.init(nullptr, &other, "Dest");
    // "A" differs from "a" only in case: a folder of its own; "a" again is no second copy.
    for (const QString& folder : inFolders({"a", "b", "A", "a"})) {
        QVERIFY(QDir().mkpath(folder));
        QTimer::singleShot(0, [folder] {
            auto* dialog = static_cast<QFileDialog*>(QApplication::activeModalWidget());
            dialog->setDirectory(folder);
            dialog->selectFile(folder);
            static_cast<QDialog*>(dialog)->accept();
        });
        history.browse();
    }
    // Picked from the list, a folder becomes the newest.
    combo.setCurrentIndex(2);
    QStringList items, stored;
    for (int i = 0; i < 11; ++i) {
        items << combo.itemText(i);
        stored << recent->value(QString("Path%1").arg(i + 1)).toString();
    }
    QCOMPARE(items.mid(0, 4), inFolders({"b", "a", "A", "/old/10"}));
    QCOMPARE(items.mid(9), QStringList({"/old/4", ""}));
    QCOMPARE(stored.mid(0, 1) + stored.mid(7), inFolders({"/old/4", "A", "a", "b", ""}));
    QCOMPARE(other.count(), 0);
}

QTEST_MAIN(TestComboHistory)
#include "tst_combohistory.moc"
