// A collector's first start: N real packages (default 30,000) listed in the real window
// with an empty cache (no library index, no thumbnails), then at once a click on a
// package with 452 dependencies and one on a package with 300 pictures while the cold
// library index reads the folder, and a header sort. Prints, each beside its target:
// the listing until the sorted table, the header sort, the dependency check until the
// table is filled with its "Exist" column, the inspection until its last item against
// the same inspection of a copy once the index is idle, the longest time the GUI thread
// went without serving a 5 ms timer, and the cold index's time against the same index
// run alone, without the clicks, in the same run.
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
    const QString indexFile = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                              QStringLiteral("/library.sqlite");
    std::printf("cache empty: %s\n",
                QFile::exists(indexFile) || QFile::exists(ThumbnailCache::defaultFile()) ? "NO"
                                                                                         : "yes");

    ListedWindow shown(root);
    auto* index = shown.window->findChild<LibraryIndex*>();
    auto* progress = shown.window->findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QHeaderView* header = shown.packages->horizontalHeader();
    app.processEvents();

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
    clock.restart();
    shown.list(false);
    while (sortedAt < 0) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double listingMs = double(sortedAt) / 1e6;
    while (!index->isRunning()) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    // The catalog's handover to the index included.
    const QByteArray listingBlock = listingMeter->longestText();
    const qint64 listingBlockMs = listingMeter->longestMillis();
    listingMeter.reset();

    // The user's clicks, at once, while the cold index runs.
    const int requiresRow = shown.rowOf("Bench.Requires.1.var");
    const int lookRow = shown.rowOf("Bench.LookPack.1.var");
    auto dependenciesMeter = std::make_unique<GuiBlockMeter>();
    int ticks = 0;
    const double dependenciesBusy = checkDependencies(shown, requiresRow, ticks);
    const bool indexRanThrough = index->isRunning();
    const QByteArray dependenciesBlock = dependenciesMeter->longestText();
    const qint64 dependenciesBlockMs = dependenciesMeter->longestMillis();
    dependenciesMeter.reset();
    const int items = BenchPackages::contentItems(lookPack);
    const BenchWindow::Inspection busy = BenchWindow::inspectRow(
        shown.packages, shown.contents, progress, lookRow, memberCount, items);
    // The header sort follows the inspection at once.
    const bool indexRanThroughInspection = index->isRunning();
    const double sortMs = BenchWindow::clickHeader(app, header, 3);
    const double sortBackMs = BenchWindow::clickHeader(app, header, 1);

    GuiBlockMeter restMeter;
    while (indexEnd < 0) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double coldMs = double(indexEnd - indexStart) / 1e6;
    const QByteArray restBlock = restMeter.longestText();
    const qint64 restBlockMs = restMeter.longestMillis();

    // The same work with the index idle.
    const BenchWindow::Inspection idle =
        BenchWindow::inspectRow(shown.packages, shown.contents, progress,
                                shown.rowOf("Bench.LookPackCopy.1.var"), memberCount, items);
    int idleTicks = 0;
    const double dependenciesIdle =
        checkDependencies(shown, shown.rowOf("Bench.Requires.1.var"), idleTicks);
    const int rows = shown.packages->rowCount();
    shown.window.reset();

    qint64 aloneCpu = 0;
    const double aloneMs =
        coldIndexAlone(root, temp.path() + QStringLiteral("/alone/library.sqlite"), aloneCpu);

    const auto yesNo = [](bool running) { return running ? "running" : "already finished"; };
    const double ratio = double(busy.millis) / qMax<qint64>(1, idle.millis);
    const double coldRatio = coldMs / qMax(1.0, aloneMs);
    const qint64 longestBlock =
        std::max({listingBlockMs, dependenciesBlockMs, busy.longestBlockMillis, restBlockMs});
    std::printf("listing of %d rows until the sorted table: %.0f ms (target 1000 ms: %s)\n", rows,
                listingMs, within(listingMs <= 1000));
    std::printf(
        "header sort \"MB\" / back to \"FileName\": %.0f / %.0f ms, index %s (target 300 ms: %s)\n",
        sortMs, sortBackMs, yesNo(indexRanThroughInspection),
        within(qMax(sortMs, sortBackMs) <= 300));
    std::printf(
        "dependency check of %d (%d present, %d ticks): %.0f ms, index %s (target 50 ms: %s); "
        "%.0f ms with the index idle (%d ticks)\n",
        dependencyCount, present, ticks, dependenciesBusy, yesNo(indexRanThrough),
        within(dependenciesBusy <= 50), dependenciesIdle, idleTicks);
    std::printf(
        "inspection of %d pictures until the last of %d items: %lld ms (process CPU %lld ms), "
        "index %s; with the index idle %lld ms (CPU %lld ms): ratio %.2f (target 1.2: %s)\n",
        pictureCount, busy.items, busy.millis, busy.cpuMillis, yesNo(indexRanThroughInspection),
        idle.millis, idle.cpuMillis, ratio, within(ratio <= 1.2));
    std::printf("GUI thread without its 5 ms timer at most: listing %s; dependency check %s; "
                "inspection %lld ms; header sort %.0f ms; "
                "until the index finished %s; longest but the header sort %lld ms "
                "(target 50 ms: %s)\n",
                listingBlock.constData(), dependenciesBlock.constData(), busy.longestBlockMillis,
                qMax(sortMs, sortBackMs), restBlock.constData(), longestBlock,
                within(longestBlock <= 50));
    std::printf("cold index with the clicks: %.0f ms; alone, same run: %.0f ms (CPU %lld ms): "
                "ratio %.2f (target 1.5: %s)\n",
                coldMs, aloneMs, aloneCpu, coldRatio, within(coldRatio <= 1.5));
    std::printf("peak RSS %lld MiB; load average at the end: %s\n", peakRssMiB(),
                loadAverage().constData());
    return 0;
}
