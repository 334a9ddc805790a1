#include "libraryanalysis.h"
#include "libraryindex.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "settingsstore.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Each package with the dependencies its meta.json names. Alpha.1 and Gamma.1 are old
// versions, of which only Alpha.1 is asked for by its exact version.
const QMap<QString, QMap<QString, QString>> packages{
    {"Creator.Alpha.1", {}},
    {"Creator.Alpha.2", {}},
    {"Creator.Gamma.1", {}},
    {"Creator.Gamma.3", {}},
    {"Other.Beta.1", {{"Creator.Alpha.1", "CC BY"}, {"Creator.Gamma.latest", ""}}},
    {"Other.Delta.1",
     {{"Creator.Alpha.latest", ""}, {"Creator.Gamma.2", ""}, {"Missing.Thing.2", ""}}}};

const int bulkCount = 3000;

} // namespace

class TestLibrary : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void filter_data();
    void filter();
    void usedBy_data();
    void usedBy();
    void removalNamesDependents_data();
    void removalNamesDependents();
    void report();
    void whileIndexing_data();
    void whileIndexing();

private:
    void open()
    {
        window = std::make_unique<MainWindow>();
        table = child<QTableWidget>("tableWidget_Var");
        index = window->findChild<LibraryIndex*>();
    }
    bool list(const QString& folder, int rowCount);
    // Lists the packages in a new window and waits for the index to have read them.
    bool openListed() { return open(), list(pkgs(), 7) && indexed(pkgs()); }
    bool indexed(const QString& folder)
    {
        return QTest::qWaitFor([&] { return index->isReady() && index->folder() == folder; },
                               30000);
    }
    // Lists a folder of many packages in a new window and waits for the index to be
    // reading them.
    bool indexingBulk();
    int rowOf(const QString& fileName) const
    {
        return table->findItems(fileName, Qt::MatchExactly).value(0)->row();
    }
    QStringList rows(bool checked) const;
    template <class T> T* child(const QString& name) const { return window->findChild<T*>(name); }
    QString pkgs() const { return home->path() + "/pkgs"; }
    QString bulk() const { return home->path() + "/bulk"; }

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<MainWindow> window;
    QTableWidget* table = nullptr;
    LibraryIndex* index = nullptr;
};

void TestLibrary::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    openSettingsGroup("Param")->value("Confirm");
}

void TestLibrary::init()
{
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", QFile::encodeName(home->path()));
    for (auto it = packages.cbegin(); it != packages.cend(); ++it) {
        QVERIFY(TestArchive::create(pkgs() + "/" + it.key() + ".var",
                                    {{"meta.json", TestArchive::metaJson(it.value())}}));
    }
    QVERIFY(TestFiles::write(pkgs() + "/sub/junk.var", "not an archive"));
    openSettingsGroup("RecentVar")->setValue("Path1", pkgs());
    openSettingsGroup("RecentDest")->setValue("Path1", home->path() + "/dest");
    openSettingsGroup("Param")->setValue("Confirm", 1);
}

void TestLibrary::cleanup()
{
    window.reset();
    home.reset();
}

bool TestLibrary::list(const QString& folder, int rowCount)
{
    auto* combo = child<QComboBox>("comboBox_GamePath");
    combo->setCurrentIndex(combo->findText(folder));
    QTest::mouseClick(child<QPushButton>("pushButton_ListVar"), Qt::LeftButton);
    return QTest::qWaitFor(
        [&] { return table->rowCount() == rowCount && table->item(rowCount - 1, 5); });
}

bool TestLibrary::indexingBulk()
{
    const QByteArray package = TestFiles::read(pkgs() + "/Creator.Alpha.1.var");
    bool written = true;
    for (int i = 0; i < bulkCount; ++i) {
        written &=
            TestFiles::write(bulk() + QString("/%1/B.P%2.1.var").arg(i % 20).arg(i), package);
    }
    openSettingsGroup("RecentVar")->setValue("Path2", bulk());
    open();
    QSignalSpy progress(index, &LibraryIndex::progress);
    return written && list(bulk(), bulkCount) && progress.wait(30000) && index->isRunning();
}

// The file names of the rows shown (or, with `checked`, of the rows marked), sorted.
QStringList TestLibrary::rows(bool checked) const
{
    QStringList names;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (checked ? table->item(row, 0)->checkState() == Qt::Checked : !table->isRowHidden(row)) {
            names << table->item(row, 1)->text();
        }
    }
    names.sort();
    return names;
}

void TestLibrary::filter_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("asked"); // with junk.var and the first shown row marked
    QTest::newRow("every word, any order")
        << "alpha creator" << QStringList{"Creator.Alpha.1.var", "Creator.Alpha.2.var"}
        << "2 packages, 1 of them hidden by the filter.";
    QTest::newRow("case ignored") << "gAMMA.3" << QStringList{"Creator.Gamma.3.var"}
                                  << "2 packages, 1 of them hidden by the filter.";
    QTest::newRow("nothing matches, Beta marked")
        << "zzz" << QStringList() << "2 packages, 2 of them hidden by the filter.";
    QTest::newRow("junk shown") << " JUNK " << QStringList{"junk.var"} << "1 package.";
}

void TestLibrary::filter()
{
    QFETCH(QString, words);
    QFETCH(QStringList, shown);
    QFETCH(QString, asked);
    QVERIFY(openListed());
    table->item(rowOf("junk.var"), 0)->setCheckState(Qt::Checked);
    QTest::keyClicks(child<QLineEdit>("lineEdit_Filter"), words);
    QTRY_COMPARE(rows(false), shown);
    emit table->horizontalHeader()->sectionClicked(3);
    QCOMPARE(rows(false), shown);

    // Marked rows go, shown or hidden, and the question says how many are hidden.
    table->item(rowOf(shown.value(0, "Other.Beta.1.var")), 0)->setCheckState(Qt::Checked);
    MessageBoxCatcher catcher(QMessageBox::Yes);
    QTest::mouseClick(child<QPushButton>("pushButton_Del"), Qt::LeftButton);
    QCOMPARE(catcher.informativeTexts.value(0).section('\n', 0, 0), asked);
    QVERIFY(!QFileInfo::exists(pkgs() + "/sub/junk.var"));
    child<QLineEdit>("lineEdit_Filter")->clear();
    QTRY_COMPARE(rows(false).size(), 7);
}

void TestLibrary::usedBy_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("users");
    QTest::addColumn<int>("dependencies");
    QTest::newRow("exact version") << "Creator.Alpha.1" << QStringList{"Other.Beta.1"} << 0;
    QTest::newRow("latest, newest present")
        << "Creator.Gamma.3" << QStringList{"Other.Beta.1"} << 0;
    QTest::newRow("latest, older present") << "Creator.Gamma.1" << QStringList() << 0;
    QTest::newRow("nobody") << "Other.Delta.1" << QStringList() << 3;
}

void TestLibrary::usedBy()
{
    QFETCH(QString, package);
    QFETCH(QStringList, users);
    QFETCH(int, dependencies);
    QVERIFY(openListed());
    auto* tabs = child<QTabWidget>("tabWidget_Depend");
    auto* usedBy = child<QTableWidget>("tableWidget_UsedBy");
    const auto shows = [&] {
        QStringList names;
        for (int row = 0; row < usedBy->rowCount(); ++row) {
            names << usedBy->item(row, 0)->text();
        }
        return names == users && tabs->tabText(1) == QString("Used by (%1)").arg(users.size());
    };
    table->setCurrentCell(rowOf(package + ".var"), 1);
    QVERIFY(shows());
    QTRY_COMPARE(tabs->tabText(0), QString("Dependencies (%1)").arg(dependencies));

    // A refresh keeps the catalog before it in use until it is done.
    index->refresh(pkgs());
    QVERIFY(index->isRunning());
    table->setCurrentCell(rowOf("junk.var"), 1);
    table->setCurrentCell(rowOf(package + ".var"), 1);
    QVERIFY(shows());
    if (users.isEmpty()) {
        return;
    }
    // A user hidden by the filter is shown again to be selected.
    QTest::keyClicks(child<QLineEdit>("lineEdit_Filter"), package);
    QTRY_COMPARE(rows(false), QStringList{package + ".var"});
    emit usedBy->itemDoubleClicked(usedBy->item(0, 0));
    QCOMPARE(child<QLineEdit>("lineEdit_Filter")->text(), QString());
    QCOMPARE(table->currentItem()->text(), users.first() + ".var");
}

void TestLibrary::removalNamesDependents_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<QStringList>("marked");
    QTest::addColumn<QString>("dependents");
    QTest::newRow("exact version") << false << QStringList{"Creator.Alpha.1"} << "Other.Beta.1";
    QTest::newRow("latest kept by another") << true << QStringList{"Creator.Alpha.2"} << "";
    QTest::newRow("every version") << true << QStringList{"Creator.Alpha.1", "Creator.Alpha.2"}
                                   << "Other.Beta.1\nOther.Delta.1";
    QTest::newRow("user and used together")
        << false << QStringList{"Creator.Alpha.1", "Other.Beta.1"} << "";
}

void TestLibrary::removalNamesDependents()
{
    QFETCH(bool, move);
    QFETCH(QStringList, marked);
    QFETCH(QString, dependents);
    QVERIFY(openListed());
    for (const QString& name : marked) {
        table->item(rowOf(name + ".var"), 0)->setCheckState(Qt::Checked);
    }
    MessageBoxCatcher catcher(QMessageBox::No);
    QTest::mouseClick(child<QPushButton>(move ? "pushButton_MoveTo" : "pushButton_Del"),
                      Qt::LeftButton);
    QCOMPARE(catcher.informativeTexts.value(0).section(
                 "\n\nThese packages would lose a dependency they use:\n", 1),
             dependents);
    QCOMPARE(rows(true).size(), marked.size());
}

void TestLibrary::report()
{
    QVERIFY(openListed());
    auto* analysis = window->findChild<LibraryAnalysis*>();
    QTRY_VERIFY(analysis->findings());
    QCOMPARE(child<QLabel>("label_Library")->text(),
             QString("7 packages, 1 missing dependency, 2 old versions, 1 broken file"));
    QTest::mouseClick(child<QPushButton>("pushButton_Library"), Qt::LeftButton);
    auto* library = child<QWidget>("LibraryWindow");
    QVERIFY(library->isVisible());
    const auto press = [library](const char* page) {
        library->findChild<QWidget*>(page)->findChild<QPushButton*>()->click();
    };
    press("Missing"); // "Copy names"
    QCOMPARE(QApplication::clipboard()->text(), QString("Missing.Thing.2"));
    press("Old versions"); // "Mark in list"
    QCOMPARE(rows(true), QStringList{"Creator.Gamma.1.var"});
    press("Broken");
    QCOMPARE(rows(true), (QStringList{"Creator.Gamma.1.var", "junk.var"}));

    auto* view = library->findChild<QWidget*>("Other version")->findChild<QTableView*>();
    QCOMPARE(view->model()->rowCount(), 1);
    QCOMPARE(view->model()->index(0, 0).data().toString(), QString("Creator.Gamma.2"));
    emit view->doubleClicked(view->model()->index(0, 2));
    QCOMPARE(table->currentItem()->text(), QString("Other.Delta.1.var"));
}

void TestLibrary::whileIndexing_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("window closed") << true;
    QTest::newRow("another folder listed") << false;
}

void TestLibrary::whileIndexing()
{
    QFETCH(bool, close);
    QVERIFY(indexingBulk());
    if (close) {
        const QString database = index->databasePath();
        window.reset();
        // The database takes up where the closed window left it.
        LibraryIndex again(nullptr, database);
        QSignalSpy ready(&again, &LibraryIndex::ready);
        again.refresh(bulk());
        QVERIFY(ready.wait(60000));
        QCOMPARE(again.catalog()->packages().size(), bulkCount);
        return;
    }
    // The new folder's packages are never answered for from the old folder's catalog.
    auto* tabs = child<QTabWidget>("tabWidget_Depend");
    QVERIFY(list(pkgs(), 7));
    table->setCurrentCell(rowOf("Creator.Alpha.1.var"), 1);
    QCOMPARE(tabs->tabText(1), QString(index->isReady() ? "Used by (1)" : "Used by"));
    QVERIFY(indexed(pkgs()));
    QCOMPARE(index->catalog()->packages().size(), 7);
    table->setCurrentCell(rowOf("Creator.Alpha.1.var"), 1);
    QCOMPARE(tabs->tabText(1), QString("Used by (1)"));
}

QTEST_MAIN(TestLibrary)
#include "tst_library.moc"
