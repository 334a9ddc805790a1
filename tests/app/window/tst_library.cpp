#include "libraryanalysis.h"
#include "libraryindex.h"
#include "spacemap.h"
#include "listedwindow.h"
#include "messageboxcatcher.h"
#include "quillmarkrun.h"
#include "testarchive.h"
#include "testfiles.h"

#include <QtTest>
#include <QtWidgets>

// Each package with the dependencies its meta.json names. Alpha.1 and Gamma.1 are old
// versions, of which only Alpha.1 is asked for by its exact version.
static const QMap<QString, QMap<QString, QString>> packages{
    {"Creator.Alpha.1", {}}, {"Creator.Alpha.2", {}}, {"Creator.Gamma.1", {}}, {"Creator.Gamma.3", {}},
    {"Other.Beta.1", {{"Creator.Alpha.1", "CC BY"}, {"Creator.Gamma.latest", ""}}},
    {"Other.Delta.1", {{"Creator.Alpha.latest", ""}, {"Creator.Gamma.2", ""}, {"Missing.Thing.2", ""}}}};

class TestLibrary : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ListedWindow> w;
    QTableWidget* table = nullptr;
    LibraryIndex* index = nullptr;

    QString pkgs() const { return home->path() + "/pkgs"; }
    template <class T> T* child(const QString& name) const { return w->window->findChild<T*>(name); }
    // Lists `folder` in a new window that asks before it removes.
    bool open(const QString& folder)
    {
        w = std::make_unique<ListedWindow>(folder, home->path() + "/dest", true);
        table = w->packages;
        index = w->window->findChild<LibraryIndex*>();
        return w->list();
    }
    bool indexed(const QString& folder) { return QTest::qWaitFor([&] { return index->isReady() && index->folder() == folder; }, 30000); }
    bool openListed() { return open(pkgs()) && indexed(pkgs()); }
    void select(const QString& name) { table->setCurrentCell(w->rowOf(name + ".var"), 1); }
    void mark(const QStringList& names)
    {
        for (const QString& name : names) {
            table->item(w->rowOf(name + ".var"), 0)->setCheckState(Qt::Checked);
        }
    }
    // The file names of the rows shown (or, with `checked`, of the rows marked), sorted.
    QStringList rows(bool checked) const
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

private slots:
    void init()
    {
        qputenv("HOME", QFile::encodeName((home = std::make_unique<QTemporaryDir>())->path()));
        for (auto it = packages.cbegin(); it != packages.cend(); ++it) {
            QVERIFY(TestArchive::create(pkgs() + "/" + it.key() + ".var", {{"meta.json", TestArchive::metaJson(it.value())}}));
        }
        QVERIFY(TestFiles::write(pkgs() + "/sub/junk.var", "not an archive"));
    }
    void cleanup() { w.reset(); }

    void removal_data()
    {
        QTest::addColumn<QString>("words"); // typed into the filter
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("marked");
        QTest::addColumn<QString>("button"); // Delete is answered yes, Move to no
        QTest::addColumn<QString>("asked");
        const QString losing = "\n\nThese packages would lose a dependency they use:\n";
        QTest::newRow("every word, any order") << "alpha creator" << QStringList{"Creator.Alpha.1.var", "Creator.Alpha.2.var"} << QStringList{"junk", "Creator.Alpha.1"} << "Del" << "2 packages, 1 of them hidden by the filter." + losing + "Other.Beta.1";
        QTest::newRow("nothing matches") << "zzz" << QStringList() << QStringList{"junk", "Other.Beta.1"} << "Del" << "2 packages, 2 of them hidden by the filter.";
        QTest::newRow("junk shown") << " JUNK " << QStringList{"junk.var"} << QStringList{"junk"} << "Del" << "1 package.";
        QTest::newRow("exact version") << "" << QStringList() << QStringList{"Creator.Alpha.1"} << "Del" << "1 package." + losing + "Other.Beta.1";
        QTest::newRow("latest kept by another") << "" << QStringList() << QStringList{"Creator.Alpha.2"} << "MoveTo" << "1 package.";
        QTest::newRow("every version") << "" << QStringList() << QStringList{"Creator.Alpha.1", "Creator.Alpha.2"} << "MoveTo" << "2 packages." + losing + "Other.Beta.1\nOther.Delta.1";
        QTest::newRow("user and used together") << "" << QStringList() << QStringList{"Creator.Alpha.1", "Other.Beta.1"} << "Del" << "2 packages.";
    }
    void removal()
    {
        QFETCH(QString, words);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, marked);
        QFETCH(QString, button);
        QFETCH(QString, asked);
        QVERIFY(openListed());
        QTest::keyClicks(child<QLineEdit>("lineEdit_Filter"), words);
        QTRY_VERIFY(words.isEmpty() || rows(false) == shown);
        emit table->horizontalHeader()->sectionClicked(3);
        QVERIFY(words.isEmpty() || rows(false) == shown);
        // Marked rows go, shown or hidden; the question counts the hidden ones and names the
        // packages that would lose a dependency.
        mark(marked);
        MessageBoxCatcher catcher(button == "Del" ? QMessageBox::Yes : QMessageBox::No);
        w->click(("pushButton_" + button).toLatin1().constData());
        QCOMPARE(catcher.informativeTexts.value(0), asked);
        QCOMPARE(TestFiles::tree(pkgs()).filter(QRegularExpression(marked.join('|'))).size(), button == "Del" ? 0 : marked.size());
    }

    // The window's Exist column and the command line's report answer alike, before and
    // after the descriptions are read.
    void presence()
    {
        const QMap<QString, bool> present{{"C.P.3", false}, {"D.Q.latest", true}, {"D.Q2.Latest", true},
                                          {"E.F.2", false}, {"G.H.7", true}, {"Missing.X.1", false}};
        const QString folder = home->path() + "/presence";
        QMap<QString, QString> needs;
        for (const QString& name : present.keys()) {
            needs.insert(name, "CC BY");
        }
        QVERIFY(TestArchive::create(folder + "/U.Needs.1.var", {{"meta.json", TestArchive::metaJson(needs)}}));
        for (const char* name : {"C.P.30", "D.Q.2", "D.Q2.4", "E.F.1", "E.F.5", "sub/g.h.7"}) {
            QVERIFY(TestArchive::create(folder + "/" + name + ".var", {{"meta.json", TestArchive::metaJson()}}));
        }
        const auto shown = [&] {
            QMap<QString, bool> ticks;
            for (int row = 0; row < w->deps->rowCount(); ++row) {
                if (w->deps->item(row, 0) != nullptr && w->deps->item(row, 2) != nullptr) {
                    ticks.insert(w->deps->item(row, 0)->text(), w->deps->item(row, 1) != nullptr);
                }
            }
            return ticks;
        };
        QVERIFY(open(folder));
        select("U.Needs.1");
        QTRY_COMPARE(shown(), present);
        QVERIFY(indexed(folder));
        select("C.P.30");
        select("U.Needs.1");
        QTRY_COMPARE(shown(), present);
        const Run run = quillmark({"--report", "missing", folder, "--json"}, home->path() + "/cli");
        QCOMPARE(run.exit, 0);
        QMap<QString, bool> reported = present;
        for (auto it = reported.begin(); it != reported.end(); ++it) {
            it.value() = true;
        }
        for (const QJsonValue entry : QJsonDocument::fromJson(run.out).array()) {
            reported[entry.toObject().value("dependency").toString()] = false;
        }
        QCOMPARE(reported, present);
    }

    // A move and then a delete of the last copy, while a refresh of many new packages
    // runs: the question is asked of the library as it is after the move.
    void removalWhileRefreshing()
    {
        QVERIFY(TestArchive::create(pkgs() + "/a/C.P.1.var", {{"meta.json", TestArchive::metaJson()}}));
        QVERIFY(TestFiles::write(pkgs() + "/b/C.P.1.var", TestFiles::read(pkgs() + "/a/C.P.1.var")));
        QVERIFY(TestArchive::create(pkgs() + "/U.User.1.var", {{"meta.json", TestArchive::metaJson({{"C.P.1", ""}})}}));
        QVERIFY(openListed());
        const QByteArray package = TestFiles::read(pkgs() + "/Creator.Alpha.1.var");
        for (int i = 0; i < 1500; ++i) {
            QVERIFY(TestFiles::write(pkgs() + QString("/new/%1/N.P%2.1.var").arg(i % 20).arg(i), package));
        }
        QSignalSpy progress(index, &LibraryIndex::progress);
        QVERIFY(w->list() && progress.wait(30000));
        const auto markIn = [&](const QString& folder) {
            for (int row = 0; row < table->rowCount(); ++row) {
                if (table->item(row, 1)->text() == "C.P.1.var" && table->item(row, 5)->text() == folder) {
                    table->item(row, 0)->setCheckState(Qt::Checked);
                }
            }
        };
        MessageBoxCatcher catcher(QMessageBox::Yes);
        markIn("/a/");
        w->click("pushButton_MoveTo");
        markIn("/b/");
        w->click("pushButton_Del");
        QCOMPARE(catcher.informativeTexts, QStringList({"1 package.", "1 package.\n\nThese packages would lose a dependency they use:\nU.User.1"}));
        // The refresh that ends later does not bring the moved copy back.
        QVERIFY(indexed(pkgs()) && QTest::qWaitFor([&] { return !index->isRunning(); }, 30000));
        QCOMPARE(index->catalog()->named("C.P.1").size(), 0);
    }

    // The collector's own scene beside the package folder uses a package that no package
    // declares: the removal question names it. A package's content shows in its tab,
    // and in the report where its description leaves it out.
    void contentAndLocalScenes()
    {
        const QString game = home->path() + "/game", folder = game + "/AddonPackages";
        QVERIFY(TestArchive::create(folder + "/Creator.Alpha.1.var", {{"meta.json", TestArchive::metaJson()}}));
        QVERIFY(TestArchive::create(folder + "/Other.Scene.1.var", {{"meta.json", TestArchive::metaJson({{"Creator.Alpha.latest", ""}})},
                                                                    {"Saves/scene/s.json", R"(["Creator.Alpha.1:/x", "Missing.Thing.1:/y"])"}}));
        QVERIFY(TestArchive::create(folder + "/Creator.Gamma.1.var", {{"meta.json", TestArchive::metaJson()}}));
        QVERIFY(TestFiles::write(game + "/Saves/scene/MyParty.json", R"({"id":"Creator.Gamma.1:/Custom/x.vam"})"));
        QVERIFY(open(folder) && indexed(folder) && QTest::qWaitFor([&] { return !index->isRunning(); }, 30000));
        select("Other.Scene.1");
        auto* tabs = child<QTabWidget>("tabWidget_Depend");
        auto* found = child<QTableWidget>("tableWidget_Content");
        QCOMPARE(tabs->tabText(2), QString("Found in content (2)"));
        QStringList cells;
        for (int row = 0; row < found->rowCount(); ++row) {
            for (int column = 0; column < found->columnCount(); ++column) {
                cells << found->item(row, column)->text();
            }
        }
        QCOMPARE(cells, QStringList({"Creator.Alpha.1", "\u221A", "\u221A", "Saves/scene/s.json",
                                     "Missing.Thing.1", "", "", "Saves/scene/s.json"}));
        w->click("pushButton_Library");
        auto* undeclared = w->window->findChild<QWidget*>("Undeclared")->findChild<QTableView*>();
        QTRY_COMPARE(undeclared->model()->rowCount(), 1);
        QCOMPARE(undeclared->model()->index(0, 2).data().toString(), QString("Missing.Thing.1"));
        mark({"Creator.Gamma.1"});
        MessageBoxCatcher catcher(QMessageBox::No);
        w->click("pushButton_Del");
        QCOMPARE(catcher.informativeTexts.value(0),
                 QString("1 package.\n\nThese packages and files would lose a dependency they use:\nSaves/scene/MyParty.json"));
        QVERIFY(QFile::exists(folder + "/Creator.Gamma.1.var"));
    }

    void usedBy_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<QStringList>("users");
        QTest::addColumn<int>("dependencies");
        QTest::newRow("exact version") << "Creator.Alpha.1" << QStringList{"Other.Beta.1"} << 0;
        QTest::newRow("latest, newest present") << "Creator.Gamma.3" << QStringList{"Other.Beta.1"} << 0;
        QTest::newRow("latest, older present") << "Creator.Gamma.1" << QStringList() << 0;
        QTest::newRow("nobody") << "Other.Delta.1" << QStringList() << 3;
    }
    void usedBy()
    {
        QFETCH(QString, package);
        QFETCH(QStringList, users);
        QFETCH(int, dependencies);
        QVERIFY(openListed());
        auto* tabs = child<QTabWidget>("tabWidget_Depend");
        auto* usedBy = child<QTableWidget>("tableWidget_UsedBy");
        // No package here has more than one user.
        const auto shows = [&] {
            return tabs->tabText(1) == QString("Used by (%1)").arg(users.size()) && (users.isEmpty() || usedBy->item(0, 0)->text() == users[0]);
        };
        select(package);
        QVERIFY(shows());
        QTRY_COMPARE(tabs->tabText(0), QString("Dependencies (%1)").arg(dependencies));
        // A refresh keeps the catalog before it in use until it is done.
        index->refresh(pkgs());
        QVERIFY(index->isRunning());
        select("junk");
        select(package);
        QVERIFY(shows());
        if (!users.isEmpty()) {
            // A user hidden by the filter is shown again to be selected.
            QTest::keyClicks(child<QLineEdit>("lineEdit_Filter"), package);
            QTRY_COMPARE(rows(false), QStringList{package + ".var"});
            emit usedBy->itemDoubleClicked(usedBy->item(0, 0));
            QCOMPARE(child<QLineEdit>("lineEdit_Filter")->text(), QString());
            QCOMPARE(table->currentItem()->text(), users.first() + ".var");
        }
    }

    void report()
    {
        QVERIFY(openListed());
        QTRY_VERIFY(w->window->findChild<LibraryAnalysis*>()->findings());
        // The summary follows the content pass, which the declared findings come before.
        QTRY_COMPARE(child<QLabel>("label_Library")->text(), QString("7 packages, 1 missing dependency, 2 old versions, 1 broken file"));
        w->click("pushButton_Library");
        auto* library = child<QWidget>("LibraryWindow");
        QVERIFY(library->isVisible());
        const auto press = [library](const char* page) { library->findChild<QWidget*>(page)->findChild<QPushButton*>()->click(); };
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

    void space()
    {
        // Of two copies the one later in path order is the one to go.
        QVERIFY(QFile::copy(pkgs() + "/Creator.Alpha.2.var", pkgs() + "/sub/Creator.Alpha.2.var"));
        // Its name holds "Other." but its creator is another.
        QVERIFY(QFile::copy(pkgs() + "/Other.Beta.1.var", pkgs() + "/AnOther.Beta.1.var"));
        QVERIFY(openListed());
        auto* analysis = w->window->findChild<LibraryAnalysis*>();
        QTRY_VERIFY(analysis->findings());
        const LibrarySpace space = analysis->findings()->space;
        w->click("pushButton_Library");
        auto* page = child<QWidget>("Space");
        // The marked rows as paths below the folder.
        const auto marked = [this] {
            QStringList paths;
            for (int row = 0; row < table->rowCount(); ++row) {
                if (table->item(row, 0)->checkState() == Qt::Checked) {
                    paths << pkgs() + table->item(row, 5)->text() + table->item(row, 1)->text();
                }
                table->item(row, 0)->setCheckState(Qt::Unchecked);
            }
            paths.sort();
            return paths;
        };
        const auto press = [page](const QString& group) { page->findChild<QPushButton*>("pushButton_Mark" + group)->click(); };
        press("Old");
        QCOMPARE(marked(), space.oldUnreferenced.paths);
        QCOMPARE(space.oldUnreferenced.paths, QStringList{pkgs() + "/Creator.Gamma.1.var"});
        child<QWidget>("Old versions")->findChild<QPushButton*>()->click();
        QCOMPARE(marked(), space.oldUnreferenced.paths);
        press("Duplicates");
        QCOMPARE(marked(), space.duplicates.paths);
        QCOMPARE(space.duplicates.paths, QStringList{pkgs() + "/sub/Creator.Alpha.2.var"});
        press("Broken");
        QCOMPARE(marked(), space.broken.paths);
        QCOMPARE(space.broken.paths, QStringList{pkgs() + "/sub/junk.var"});

        // A click on a creator's tile shows that creator's packages only.
        auto* map = page->findChild<SpaceMap*>();
        child<QTabWidget>("tabWidget_Library")->setCurrentWidget(page);
        QPoint other;
        for (int y = 0; y < map->height() && other.isNull(); y += 4) {
            for (int x = 0; x < map->width() && other.isNull(); x += 4) {
                const CreatorSpace* creator = map->creatorAt(QPoint(x, y));
                other = creator != nullptr && creator->creator == "Other" ? QPoint(x, y) : QPoint();
            }
        }
        QVERIFY(!other.isNull());
        QTest::mouseClick(map, Qt::LeftButton, {}, other);
        QCOMPARE(rows(false), (QStringList{"Other.Beta.1.var", "Other.Delta.1.var"}));
        QCOMPARE(child<QLineEdit>("lineEdit_Filter")->text(), QString("Other."));
    }

    void whileIndexing_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("window closed") << true;
        QTest::newRow("another folder listed") << false;
    }
    void whileIndexing()
    {
        QFETCH(bool, close);
        const QString bulk = home->path() + "/bulk";
        const QByteArray package = TestFiles::read(pkgs() + "/Creator.Alpha.1.var");
        for (int i = 0; i < 3000; ++i) {
            QVERIFY(TestFiles::write(bulk + QString("/%1/B.P%2.1.var").arg(i % 20).arg(i), package));
        }
        QVERIFY(open(bulk));
        QSignalSpy progress(index, &LibraryIndex::progress);
        QVERIFY(progress.wait(30000) && index->isRunning());
        if (close) {
            const QString database = index->databasePath();
            w.reset();
            // The database takes up where the closed window left it.
            LibraryIndex again(nullptr, database);
            QSignalSpy ready(&again, &LibraryIndex::ready);
            again.refresh(bulk);
            QVERIFY(ready.wait(60000));
            QCOMPARE(again.catalog()->packages().size(), 3000);
            return;
        }
        // The new folder's packages are never answered for from the old folder's catalog.
        auto* tabs = child<QTabWidget>("tabWidget_Depend");
        child<QComboBox>("comboBox_GamePath")->addItem(pkgs());
        child<QComboBox>("comboBox_GamePath")->setCurrentText(pkgs());
        QVERIFY(w->list());
        select("Creator.Alpha.1");
        QCOMPARE(tabs->tabText(1), QString(index->isReady() ? "Used by (1)" : "Used by"));
        QVERIFY(indexed(pkgs()));
        select("Creator.Alpha.1");
        QCOMPARE(tabs->tabText(1), QString("Used by (1)"));
    }
};

QTEST_MAIN(TestLibrary)
#include "tst_library.moc"
