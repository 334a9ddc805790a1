#include "hcombohistory.h"
#include "settingsstore.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QtTest>

// A combo box bound to a history the way the window binds it.
struct BoundHistory
{
    explicit BoundHistory(const QString& name)
    {
        QObject::connect(&combo, QOverload<int>::of(&QComboBox::currentIndexChanged),
                         [this](int index) { history.onCurrentIndexChanged(index); });
        history.init(nullptr, &combo, name);
    }
    // Picks `folder` in the dialog that browse() opens.
    void browse(const QString& folder)
    {
        QTimer::singleShot(0, [folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->setDirectory(folder);
            dialog->selectFile(folder);
            static_cast<QDialog*>(dialog)->accept();
        });
        history.browse();
    }
    QStringList items() const
    {
        QStringList texts;
        for (int i = 0; i < combo.count(); ++i) {
            texts << combo.itemText(i);
        }
        return texts;
    }
    QComboBox combo;
    HComboHistory history;
};

class TestComboHistory : public QObject
{
    Q_OBJECT
private slots:
    void history_data();
    void history();

private:
    QTemporaryDir folders;
};

void TestComboHistory::history_data()
{
    QTest::addColumn<int>("oldPaths");        // stored before as "/old/1", "/old/2", ...
    QTest::addColumn<QStringList>("browsed"); // folders below the test folder
    QTest::addColumn<int>("chosen");          // -1: none
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("stored");
    using L = QStringList;
    QTest::newRow("browse") << 0 << L{"a", "b"} << -1 << L{"b", "a"} << L{"a", "b"};
    QTest::newRow("choose") << 0 << L{"a", "b"} << 1 << L{"a", "b"} << L{"b", "a"};
    // "A" differs from "a" only in case: a folder of its own.
    QTest::newRow("no second copy")
        << 0 << L{"a", "b", "A", "a"} << -1 << L{"a", "A", "b"} << L{"b", "A", "a", ""};
    QTest::newRow("trimmed to MaxHistory")
        << 10 << L{"a"} << -1 << L{"a",      "/old/10", "/old/9", "/old/8", "/old/7",
                                   "/old/6", "/old/5",  "/old/4", "/old/3", "/old/2"}
        << L{"/old/2", "/old/3", "/old/4", "/old/5",  "/old/6",
             "/old/7", "/old/8", "/old/9", "/old/10", "a"};
}

void TestComboHistory::history()
{
    QFETCH(int, oldPaths);
    QFETCH(QStringList, browsed);
    QFETCH(int, chosen);
    QFETCH(QStringList, items);
    QFETCH(QStringList, stored);
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
    const auto recent = openSettingsGroup("RecentVar");
    for (int i = 1; i <= oldPaths; ++i) {
        recent->setValue(QString("Path%1").arg(i), QString("/old/%1").arg(i));
    }

    BoundHistory used("Var");
    BoundHistory other("Dest");
    for (const QString& folder : browsed) {
        QVERIFY(QDir().mkpath(folders.filePath(folder)));
        used.browse(folders.filePath(folder));
    }
    if (chosen >= 0) {
        used.combo.setCurrentIndex(chosen);
    }
    QCOMPARE(used.items(), QStringList(items).replaceInStrings(QRegularExpression("^(\\w)"),
                                                               folders.path() + "/\\1"));
    QStringList values;
    for (int i = 1; i <= stored.size(); ++i) {
        values << recent->value(QString("Path%1").arg(i)).toString();
    }
    QCOMPARE(values,
             stored.replaceInStrings(QRegularExpression("^(\\w)"), folders.path() + "/\\1"));
    QCOMPARE(other.combo.count(), 0);
}

QTEST_MAIN(TestComboHistory)
#include "tst_combohistory.moc"
