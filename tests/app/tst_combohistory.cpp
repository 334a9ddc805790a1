#include "hcombohistory.h"
#include "settingsstore.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <QtTest>

namespace {

QStringList texts(const QComboBox& combo)
{
    QStringList texts;
    for (int i = 0; i < combo.count(); ++i) {
        texts << combo.itemText(i);
    }
    return texts;
}

QStringList storedPaths(const QString& name, int upTo)
{
    const auto group = openSettingsGroup("Recent" + name);
    QStringList values;
    for (int i = 1; i <= upTo; ++i) {
        values << group->value(QString("Path%1").arg(i)).toString();
    }
    return values;
}

} // namespace

// A combo box bound to a history the way the window binds it.
struct BoundHistory
{
    explicit BoundHistory(const QString& name)
    {
        QObject::connect(&combo, QOverload<int>::of(&QComboBox::currentIndexChanged),
                         [this](int index) { history.onCurrentIndexChanged(index); });
        history.init(nullptr, &combo, name);
    }
    // Picks `folder` in the dialog that browse() opens, or cancels it when empty.
    void browse(const QString& folder)
    {
        QTimer::singleShot(0, [folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            if (folder.isEmpty()) {
                dialog->reject();
            } else {
                dialog->setDirectory(folder);
                dialog->selectFile(folder);
                static_cast<QDialog*>(dialog)->accept();
            }
        });
        history.browse();
    }
    QComboBox combo;
    HComboHistory history;
};

class TestComboHistory : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void history_data();
    void history();

private:
    QTemporaryDir folders;
    QString a, b, c;
};

void TestComboHistory::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    a = folders.path() + "/a";
    b = folders.path() + "/b";
    c = folders.path() + "/A"; // differs from a only in case: a folder of its own
    for (const QString& folder : {a, b, c}) {
        QDir().mkpath(folder);
    }
}

void TestComboHistory::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
}

void TestComboHistory::history_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxHistory");      // 0: not set
    QTest::addColumn<int>("oldPaths");        // stored before as "/old/1", "/old/2", ...
    QTest::addColumn<QStringList>("browsed"); // an empty folder cancels the dialog
    QTest::addColumn<int>("chosen");          // -1: none
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("stored");

    using L = QStringList;
    const QString var = QStringLiteral("Var");
    QTest::newRow("first run") << var << 0 << 0 << L{} << -1 << L{} << L{""};
    QTest::newRow("browse") << var << 0 << 0 << L{a, b} << -1 << L{b, a} << L{a, b};
    QTest::newRow("browse the other")
        << QString("Dest") << 0 << 0 << L{a, b} << -1 << L{b, a} << L{a, b};
    QTest::newRow("choose") << var << 0 << 0 << L{a, b} << 1 << L{a, b} << L{b, a};
    QTest::newRow("no second copy")
        << var << 0 << 0 << L{a, b, c, a} << -1 << L{a, c, b} << L{b, c, a, ""};
    QTest::newRow("cancel") << var << 0 << 0 << L{a, ""} << -1 << L{a} << L{a, ""};
    QTest::newRow("trimmed to MaxHistory")
        << var << 0 << 10 << L{a} << -1 << L{a,        "/old/10", "/old/9", "/old/8", "/old/7",
                                             "/old/6", "/old/5",  "/old/4", "/old/3", "/old/2"}
        << L{"/old/2", "/old/3", "/old/4", "/old/5",  "/old/6",
             "/old/7", "/old/8", "/old/9", "/old/10", a};
    QTest::newRow("loaded up to MaxHistory")
        << var << 3 << 5 << L{} << -1 << L{"/old/3", "/old/2", "/old/1"}
        << L{"/old/1", "/old/2", "/old/3", "/old/4", "/old/5"};
    QTest::newRow("values above MaxHistory kept")
        << var << 3 << 5 << L{a} << -1 << L{a, "/old/3", "/old/2"}
        << L{"/old/2", "/old/3", a, "/old/4", "/old/5"};
}

void TestComboHistory::history()
{
    QFETCH(QString, name);
    QFETCH(int, maxHistory);
    QFETCH(int, oldPaths);
    QFETCH(QStringList, browsed);
    QFETCH(int, chosen);
    QFETCH(QStringList, items);
    QFETCH(QStringList, stored);
    if (maxHistory > 0) {
        openSettingsGroup("Param")->setValue("MaxHistory", maxHistory);
    }
    const auto recent = openSettingsGroup("Recent" + name);
    for (int i = 1; i <= oldPaths; ++i) {
        recent->setValue(QString("Path%1").arg(i), QString("/old/%1").arg(i));
    }
    recent->sync();

    const QString otherName = name == "Var" ? "Dest" : "Var";
    BoundHistory used(name);
    BoundHistory other(otherName);
    for (const QString& folder : browsed) {
        used.browse(folder);
    }
    if (chosen >= 0) {
        used.combo.setCurrentIndex(chosen);
    }
    QCOMPARE(texts(used.combo), items);
    QCOMPARE(used.history.currentPath(), items.value(0));
    QCOMPARE(storedPaths(name, stored.size()), stored);
    QCOMPARE(other.combo.count(), 0);
    QCOMPARE(storedPaths(otherName, 1), QStringList{""});
}

QTEST_MAIN(TestComboHistory)
#include "tst_combohistory.moc"
