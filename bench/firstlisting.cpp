// A collector's first start: N real packages (default 30,000) listed in the real window
// with an empty cache (no library index, no thumbnails), then at once a click on a
// package with 452 dependencies and one on a package with 300 pictures while the cold
// library index reads the folder, and a header sort. Prints, each beside its target:
// the listing until the sorted table, the header sort, the dependency check until the
// table is filled with its "Exist" column, the inspection until its last item against
// the same inspection of a copy once the index is idle, the longest time the GUI thread
// went without serving a 5 ms timer, and the cold index's time against the former way
// in the same run: the same first start, clicks included, with another empty cache and
// the index's threads at the user's priority. The index alone, without the clicks, is
// printed beside it.
//
//   build/bench/firstlisting [N]
//
// The index reads at idle priority: other programs keeping the cores busy slow it down
// far more than the window. The load average is printed at the start and the end. The
// processor time of the first inspection is the whole program's, the index's included.

#include "benchpackages.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "folderwalk.h"
#include "libraryindex.h"
#include "libraryscan.h"
#include "listedwindow.h"
#include "rawzip.h"
#include "testarchive.h"
#include "thumbnailcache.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

const int dependencyCount = 452;
const int pictureCount = 300;
const int memberCount = 1000;

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : "?";
}

// A package needing `dependencyCount` packages: present versions, ".latest" of present
// packages, versions that are not there and packages that are not there at all.
// Returns how many of them are present.
int makeRequiringPackage(const QString& path, const QStringList& library)
{
    QRandomGenerator random(452);
    QSet<QString> names;
    int present = 0;
    while (names.size() < dependencyCount) {
        const QString target = library.at(random.bounded(library.size()));
        const QString key = target.left(target.lastIndexOf('.'));
        const int kind = names.size() % 10;
        const QString name = kind < 5   ? target
                             : kind < 8 ? key + ".latest"
                             : kind < 9 ? key + ".99"
                                        : QString::asprintf("Gone.Bench%d.1", names.size());
        if (!names.contains(name)) {
            names.insert(name);
            present += kind < 8 ? 1 : 0;
        }
    }
    QJsonObject dependencies;
    for (const QString& name : qAsConst(names)) {
        dependencies.insert(name, QJsonObject{{"licenseType", "CC BY"}});
    }
    const QByteArray meta = QJsonDocument(QJsonObject{{"dependencies", dependencies}}).toJson();
    const QList<RawZip::Member> members = {{"meta.json", meta}, {"Saves/scene/a.json", "{}"}};
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !RawZip::write(path, members)) {
        return -1;
    }
    return present;
}

// Selects the row and waits until the dependency table holds every dependency with its
// "Exist" cell; returns the milliseconds and counts the ticks.
double checkDependencies(const ListedWindow& shown, int row, int& ticks)
{
    shown.deps->setRowCount(0);
    QElapsedTimer clock;
    clock.start();
    shown.packages->selectRow(row);
    // The cells of a row come in order, the licence last.
    while (shown.deps->rowCount() != dependencyCount ||
           shown.deps->item(dependencyCount - 1, 2) == nullptr) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double millis = double(clock.nsecsElapsed()) / 1e6;
    ticks = 0;
    for (int r = 0; r < dependencyCount; ++r) {
        ticks += shown.deps->item(r, 1) != nullptr ? 1 : 0;
    }
    return millis;
}

// The cold index of `folder` alone, handed the listing's catalog as the window hands it,
// into a database of its own; returns the milliseconds until its catalog is complete.
double coldIndexAlone(const QString& folder, const QString& database, qint64& cpu)
{
    const auto listed =
        LibraryScan::described(FolderWalk::packages(folder, [] { return false; }), nullptr);
    LibraryIndex index(nullptr, database);
    QEventLoop loop;
    QObject::connect(&index, &LibraryIndex::ready, &loop, [&] {
        if (index.isReady()) {
            loop.quit();
        }
    });
    const qint64 cpuBefore = cpuMillis();
    QElapsedTimer clock;
    clock.start();
    index.refresh(folder, listed);
    loop.exec();
    cpu = cpuMillis() - cpuBefore;
    return double(clock.nsecsElapsed()) / 1e6;
}

const char* within(bool met)
{
    return met ? "met" : "MISSED";
}

// What one first start measured.
struct FirstStart
{
    double listingMs = 0;
    QByteArray listingBlock;
    qint64 listingBlockMs = 0;
    double dependenciesMs = 0;
    int ticks = 0;
    bool indexRanThrough = false;
    QByteArray dependenciesBlock;
    qint64 dependenciesBlockMs = 0;
    BenchWindow::Inspection inspection;
    bool indexRanThroughInspection = false;
    double sortMs = 0;
    double sortBackMs = 0;
    double coldMs = 0;
    QByteArray restBlock;
    qint64 restBlockMs = 0;
    BenchWindow::Inspection idleInspection;
    double dependenciesIdleMs = 0;
    int idleTicks = 0;
    int rows = 0;
};

// Lists `root` in a new window with an empty cache below `home`, its index's threads at
// `priority`, and at once clicks the package with the dependencies, the one with the
// pictures, and sorts; then waits for the cold index. With `idleToo` it also inspects
// the copy of the picture package and checks the dependencies again once the index is
// idle.
FirstStart firstStart(QApplication& app, const QString& root, const QString& home,
                      QThread::Priority priority, int items, bool idleToo)
{
    const QByteArray formerHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    const QString indexFile = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                              QStringLiteral("/library.sqlite");
    std::printf("cache empty: %s\n",
                QFile::exists(indexFile) || QFile::exists(ThumbnailCache::defaultFile()) ? "NO"
                                                                                         : "yes");
    FirstStart figures;
    ListedWindow shown(root);
    auto* index = shown.window->findChild<LibraryIndex*>();
    index->setPriority(priority);
    auto* progress = shown.window->findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QHeaderView* header = shown.packages->horizontalHeader();
    app.processEvents();

    QElapsedTimer clock;
    qint64 sortedAt = -1;
    qint64 indexStart = -1;
    qint64 indexEnd = -1;
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, [&](int section) {
        if (section == 1 && sortedAt < 0) {
            sortedAt = clock.nsecsElapsed();
        }
    });
    // The listing hands its catalog over (a first ready()), the index's own comes when
    // it has read everything.
    QObject::connect(index, &LibraryIndex::ready, [&] {
        if (!index->isReady() && indexStart < 0) {
            indexStart = clock.nsecsElapsed();
        } else if (index->isReady() && indexEnd < 0) {
            indexEnd = clock.nsecsElapsed();
        }
    });

    auto listingMeter = std::make_unique<GuiBlockMeter>();
    clock.start();
    shown.list(false);
    while (sortedAt < 0) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    figures.listingMs = double(sortedAt) / 1e6;
    while (!index->isRunning()) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    // The catalog's handover to the index included.
    figures.listingBlock = listingMeter->longestText();
    figures.listingBlockMs = listingMeter->longestMillis();
    listingMeter.reset();

    // The user's clicks, at once, while the cold index runs.
    auto dependenciesMeter = std::make_unique<GuiBlockMeter>();
    figures.dependenciesMs =
        checkDependencies(shown, shown.rowOf("Bench.Requires.1.var"), figures.ticks);
    figures.indexRanThrough = index->isRunning();
    figures.dependenciesBlock = dependenciesMeter->longestText();
    figures.dependenciesBlockMs = dependenciesMeter->longestMillis();
    dependenciesMeter.reset();
    figures.inspection =
        BenchWindow::inspectRow(shown.packages, shown.contents, progress,
                                shown.rowOf("Bench.LookPack.1.var"), memberCount, items);
    // The header sort follows the inspection at once.
    figures.indexRanThroughInspection = index->isRunning();
    figures.sortMs = BenchWindow::clickHeader(app, header, 3);
    figures.sortBackMs = BenchWindow::clickHeader(app, header, 1);

    GuiBlockMeter restMeter;
    while (indexEnd < 0) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    figures.coldMs = double(indexEnd - indexStart) / 1e6;
    figures.restBlock = restMeter.longestText();
    figures.restBlockMs = restMeter.longestMillis();

    if (idleToo) {
        figures.idleInspection =
            BenchWindow::inspectRow(shown.packages, shown.contents, progress,
                                    shown.rowOf("Bench.LookPackCopy.1.var"), memberCount, items);
        figures.dependenciesIdleMs =
            checkDependencies(shown, shown.rowOf("Bench.Requires.1.var"), figures.idleTicks);
    }
    figures.rows = shown.packages->rowCount();
    qputenv("HOME", formerHome);
    return figures;
}

} // namespace

int main(int argc, char* argv[])
{
    const BenchHome home;
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    });
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 30000;
    if (count < 100) {
        std::fprintf(stderr, "usage: firstlisting [package count, at least 100]\n");
        return 2;
    }
    std::printf("load average at the start: %s\n", loadAverage().constData());

    QTemporaryDir temp;
    const QString root = temp.path() + QStringLiteral("/library");
    QElapsedTimer clock;
    clock.start();
    const QStringList library = BenchPackages::makeLibrary(root, count);
    const int present = library.isEmpty()
                            ? -1
                            : makeRequiringPackage(root + "/bench/Bench.Requires.1.var", library);
    const QMap<QString, QByteArray> lookPack =
        BenchPackages::largePackage(pictureCount, memberCount);
    const QString lookPath = root + QStringLiteral("/bench/Bench.LookPack.1.var");
    // The same package at another path: the thumbnail cache knows nothing of it.
    const QString copyPath = root + QStringLiteral("/bench/Bench.LookPackCopy.1.var");
    if (present < 0 || !TestArchive::create(lookPath, lookPack) ||
        !QFile::copy(lookPath, copyPath)) {
        std::fprintf(stderr, "cannot make the packages\n");
        return 1;
    }
    std::printf("made %d packages, one needing %d (%d of them present), one with %d pictures "
                "and its copy, in %.1f s\n",
                count, dependencyCount, present, pictureCount, double(clock.elapsed()) / 1e3);

    const int items = BenchPackages::contentItems(lookPack);
    const FirstStart now = firstStart(app, root, temp.path() + QStringLiteral("/home"),
                                      QThread::IdlePriority, items, true);
    // The former way, for comparison: the index's threads at the user's priority, the
    // same clicks, another empty cache.
    const FirstStart former = firstStart(app, root, temp.path() + QStringLiteral("/former"),
                                         QThread::InheritPriority, items, false);
    qint64 aloneCpu = 0;
    const double aloneMs =
        coldIndexAlone(root, temp.path() + QStringLiteral("/alone/library.sqlite"), aloneCpu);

    const auto yesNo = [](bool running) { return running ? "running" : "already finished"; };
    const double ratio =
        double(now.inspection.millis) / qMax<qint64>(1, now.idleInspection.millis);
    const double coldRatio = now.coldMs / qMax(1.0, former.coldMs);
    const qint64 longestBlock = std::max({now.listingBlockMs, now.dependenciesBlockMs,
                                          now.inspection.longestBlockMillis, now.restBlockMs});
    std::printf("listing of %d rows until the sorted table: %.0f ms (target 1000 ms: %s)\n",
                now.rows, now.listingMs, within(now.listingMs <= 1000));
    std::printf(
        "header sort \"MB\" / back to \"FileName\": %.0f / %.0f ms, index %s (target 300 ms: %s)\n",
        now.sortMs, now.sortBackMs, yesNo(now.indexRanThroughInspection),
        within(qMax(now.sortMs, now.sortBackMs) <= 300));
    std::printf(
        "dependency check of %d (%d present, %d ticks): %.0f ms, index %s (target 50 ms: %s); "
        "%.0f ms with the index idle (%d ticks)\n",
        dependencyCount, present, now.ticks, now.dependenciesMs, yesNo(now.indexRanThrough),
        within(now.dependenciesMs <= 50), now.dependenciesIdleMs, now.idleTicks);
    std::printf(
        "inspection of %d pictures until the last of %d items: %lld ms (process CPU %lld ms), "
        "index %s; with the index idle %lld ms (CPU %lld ms): ratio %.2f (target 1.2: %s)\n",
        pictureCount, now.inspection.items, now.inspection.millis, now.inspection.cpuMillis,
        yesNo(now.indexRanThroughInspection), now.idleInspection.millis,
        now.idleInspection.cpuMillis, ratio, within(ratio <= 1.2));
    std::printf("GUI thread without its 5 ms timer at most: listing %s; dependency check %s; "
                "inspection %lld ms; header sort %.0f ms; "
                "until the index finished %s; longest but the header sort %lld ms "
                "(target 50 ms: %s)\n",
                now.listingBlock.constData(), now.dependenciesBlock.constData(),
                now.inspection.longestBlockMillis, qMax(now.sortMs, now.sortBackMs),
                now.restBlock.constData(), longestBlock, within(longestBlock <= 50));
    std::printf("cold index with the clicks: %.0f ms; at the user's priority with the same "
                "clicks, same run: %.0f ms (its dependency check %.0f ms, inspection %lld ms): "
                "ratio %.2f (target 1.5: %s); alone, without the clicks: %.0f ms (CPU %lld ms)\n",
                now.coldMs, former.coldMs, former.dependenciesMs, former.inspection.millis,
                coldRatio, within(coldRatio <= 1.5), aloneMs, aloneCpu);
    std::printf("peak RSS %lld MiB; load average at the end: %s\n", peakRssMiB(),
                loadAverage().constData());
    return 0;
}
