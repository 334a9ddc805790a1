#include "hcombohistory.h"
#include "settingsstore.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <QtTest>

namespace {

// Answers the folder dialog that browse() opens: picks `folder`, or cancels when empty.
void answerFolderDialog(const QString& folder)
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
}

QStringList items(const QComboBox& combo)
{
    QStringList texts;
    for (int i = 0; i < combo.count(); ++i) {
        texts << combo.itemText(i);
    }
    return texts;
}

QStringList stored(const QString& name, int upTo)
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
    void browse(const QString& folder)
    {
        answerFolderDialog(folder);
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
    void firstRunIsEmpty();
    void browseAndChoose();
    void noSecondCopy();
    void trimsToMaxHistory();
    void keepsValuesAboveMaxHistory();
    void cancelChangesNothing();
    void historiesStayApart();

private:
    QTemporaryDir folders;
    QString a, b, c;
};

void TestComboHistory::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    a = folders.path() + "/a";
    b = folders.path() + "/b";
    c = folders.path() + "/A";
    for (const QString& folder : {a, b, c}) {
        QDir().mkpath(folder);
    }
}

void TestComboHistory::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Morrowquay", "Quillmark").clear();
}

void TestComboHistory::firstRunIsEmpty()
{
    BoundHistory var("Var");
    QCOMPARE(var.combo.count(), 0);
    QCOMPARE(var.history.currentPath(), QString());
}

void TestComboHistory::browseAndChoose()
{
    BoundHistory var("Var");
    var.browse(a);
    var.browse(b);
    QCOMPARE(stored("Var", 2), (QStringList{a, b}));
    QCOMPARE(items(var.combo), (QStringList{b, a}));
    QCOMPARE(var.history.currentPath(), b);

    var.combo.setCurrentIndex(1); // the user chooses the older folder
    QCOMPARE(stored("Var", 2), (QStringList{b, a}));
    QCOMPARE(items(var.combo), (QStringList{a, b}));
    QCOMPARE(var.history.currentPath(), a);
}

void TestComboHistory::noSecondCopy()
{
    BoundHistory var("Var");
    var.browse(a);
    var.browse(b);
    var.browse(c); // differs from a only in case: a folder of its own
    var.browse(a);
    QCOMPARE(items(var.combo), (QStringList{a, c, b}));
    QCOMPARE(stored("Var", 4), (QStringList{b, c, a, QString()}));
}

void TestComboHistory::trimsToMaxHistory()
{
    const auto recent = openSettingsGroup("RecentVar");
    for (int i = 1; i <= 10; ++i) {
        recent->setValue(QString("Path%1").arg(i), QString("/old/%1").arg(i));
    }
    recent->sync();
    BoundHistory var("Var");
    QCOMPARE(var.combo.count(), 10);
    var.browse(a);
    QStringList expected;
    for (int i = 2; i <= 10; ++i) {
        expected << QString("/old/%1").arg(i);
    }
    expected << a;
    QCOMPARE(stored("Var", 10), expected);
    QCOMPARE(var.combo.count(), 10);
    QCOMPARE(var.combo.itemText(0), a);
}

void TestComboHistory::keepsValuesAboveMaxHistory()
{
    openSettingsGroup("Param")->setValue("MaxHistory", 3);
    const auto recent = openSettingsGroup("RecentVar");
    for (int i = 1; i <= 5; ++i) {
        recent->setValue(QString("Path%1").arg(i), QString("/old/%1").arg(i));
    }
    recent->sync();
    BoundHistory var("Var");
    QCOMPARE(items(var.combo), (QStringList{"/old/3", "/old/2", "/old/1"}));
    var.browse(a);
    QCOMPARE(stored("Var", 5), (QStringList{"/old/2", "/old/3", a, "/old/4", "/old/5"}));
}

void TestComboHistory::cancelChangesNothing()
{
    BoundHistory var("Var");
    var.browse(a);
    var.browse(QString());
    QCOMPARE(items(var.combo), QStringList{a});
    QCOMPARE(stored("Var", 2), (QStringList{a, QString()}));
}

void TestComboHistory::historiesStayApart()
{
    BoundHistory var("Var");
    BoundHistory dest("Dest");
    var.browse(a);
    dest.browse(b);
    QCOMPARE(items(var.combo), QStringList{a});
    QCOMPARE(items(dest.combo), QStringList{b});
    QCOMPARE(stored("Dest", 1), QStringList{b});
}

QTEST_MAIN(TestComboHistory)
#include "tst_combohistory.moc"
