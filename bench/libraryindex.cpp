// Indexes a generated library of N packages (default 30,000) with realistic meta.json
// files and prints how long a cold, a warm and a partly changed refresh take, how long
// each query takes on the full index, the peak memory, and in-process reading against
// one 7-Zip run per package on 1,000 of them. The space report is timed as well, and
// the library report's Space tab drawn off screen.
//
//   build/bench/libraryindex [N]
//
// The warm index is timed in a newly started program, which the benchmark starts
// with "--warm", and again in the same program.
//
// The library and its database are generated in /tmp/quillmark-bench-library and
// removed at the end.

#include "benchsupport.h"
#include "hzip.h"
#include "indexdatabase.h"
#include "libraryindex.h"
#include "libraryqueries.h"
#include "libraryscan.h"
#include "libraryspace.h"
#include "packagereader.h"
#include "rawzip.h"
#include "spacepage.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

const QString root = QStringLiteral("/tmp/quillmark-bench-library");

// A package name of `creator` (of 300) and `package` (of 3,000, each by one creator):
// versions 1 to 10 of every package are present in a library of 30,000.
QString packageName(int creator, int package, int version)
{
    return QString::asprintf("Creator%03d.Package%04d.%d", creator, package, version);
}

QByteArray metaJson(QRandomGenerator& random, int count)
{
    QJsonObject dependencies;
    const int direct = random.bounded(11);
    for (int d = 0; d < direct; ++d) {
        QJsonObject dependency{{QStringLiteral("licenseType"), QStringLiteral("CC BY")}};
        // Every fourth dependency carries its own, as the game writes them.
        if (random.bounded(4) == 0) {
            QJsonObject nested;
            for (int n = random.bounded(1, 4); n > 0; --n) {
                const int package = random.bounded(3000);
                nested.insert(packageName(package % 300, package, random.bounded(1, 11)),
                              QJsonObject{{QStringLiteral("licenseType"), QStringLiteral("FC")}});
            }
            dependency.insert(QStringLiteral("dependencies"), nested);
        }
        // One reference in twenty names a package that the library lacks.
        const int package = random.bounded(20) == 0 ? 3000 + random.bounded(count) : random.bounded(3000);
        const QString version = random.bounded(5) == 0 ? QStringLiteral("latest") : QString::number(random.bounded(1, 11));
        dependencies.insert(QString::asprintf("Creator%03d.Package%04d.", package % 300, package) + version, dependency);
    }
    QJsonArray contents;
    for (int c = random.bounded(1, 30); c > 0; --c) {
        contents.append(QString::asprintf("Custom/Clothing/Female/Item%d/item%d.vam", c, c));
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("licenseType"), QStringLiteral("CC BY-SA")},
                                     {QStringLiteral("creatorName"), QStringLiteral("Creator")},
                                     {QStringLiteral("description"), QString(200, QLatin1Char('x'))},
                                     {QStringLiteral("contentList"), contents},
                                     {QStringLiteral("dependencies"), dependencies}})
        .toJson();
}

// A scene that uses 0 to 40 packages, a few of them undeclared, as the content pass meets it.
QByteArray sceneJson(QRandomGenerator& random)
{
    QByteArray text = "{ \"atoms\" : [\n";
    for (int r = random.bounded(41); r > 0; --r) {
        const int package = random.bounded(3000);
        text += "  { \"id\" : \"" + packageName(package % 300, package, random.bounded(1, 11)).toUtf8() +
                ":/Custom/Clothing/Female/Item/item.vam\", \"position\" : \"" + QByteArray(200, '1') + "\" },\n";
    }
    return text + "  {} ] }\n";
}

QStringList makeLibrary(int count)
{
    QRandomGenerator random(20261207);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const int package = i % 3000;
        const QString name = packageName(package % 300, package, 1 + i / 3000 % 5 + i / 15000 * 5);
        const QString path = QString::asprintf("%s/library/folder%02d/", qPrintable(root), i % 40) + name + ".var";
        const QList<RawZip::Member> members = {
            {"meta.json", metaJson(random, count)},
            {"Saves/scene/" + name.toUtf8() + ".json", sceneJson(random), RawZip::Member::File, true},
            {"Saves/scene/" + name.toUtf8() + ".jpg", QByteArray(20000, '\xff')}};
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !RawZip::write(path, members)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return {};
        }
        paths << path;
    }
    return paths;
}

// Prints the wall-clock time of a refresh, content pass included, and the processor
// time of all its threads: on a busy machine the second says what the first would be
// on an idle one. Also when the declared results came, before the content pass.
void refresh(LibraryIndex& index, const char* what)
{
    QElapsedTimer clock;
    clock.start();
    const std::clock_t processor = std::clock();
    QEventLoop loop;
    double declared = -1;
    index.setContentReading(true);
    const QMetaObject::Connection done = QObject::connect(&index, &LibraryIndex::ready, &loop, [&] {
        if (declared < 0) {
            declared = clock.nsecsElapsed() / 1e6;
        }
        if (!index.isRunning()) {
            loop.quit();
        }
    });
    index.refresh(root + QStringLiteral("/library"));
    loop.exec();
    QObject::disconnect(done);
    std::printf("%-31s%8.0f ms (processor %.0f ms; declared results after %.0f ms)\n", what,
                clock.nsecsElapsed() / 1e6, double(std::clock() - processor) * 1000 / CLOCKS_PER_SEC, declared);
}

// Prints the fastest of five runs of `work`, wall-clock and processor time.
void fastest(const char* what, const std::function<void()>& work)
{
    double wall = 1e12;
    double processor = 1e12;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        const std::clock_t start = std::clock();
        work();
        wall = std::min(wall, clock.nsecsElapsed() / 1e6);
        processor = std::min(processor, double(std::clock() - start) * 1000 / CLOCKS_PER_SEC);
    }
    std::printf("%-31s%8.1f ms (processor %.1f ms)\n", what, wall, processor);
}

} // namespace

int main(int argc, char* argv[])
{
    // The Space tab is drawn without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString database = root + QStringLiteral("/cache/library.sqlite");
    if (app.arguments().value(1) == QLatin1String("--warm")) {
        LibraryIndex index(nullptr, database);
        refresh(index, "Warm index, newly started:");
        return 0;
    }
    const int count = argc > 1 ? qMax(1000, QByteArray(argv[1]).toInt()) : 30000;
    QDir(root).removeRecursively();
    QElapsedTimer clock;
    clock.start();
    const QStringList paths = makeLibrary(count);
    if (paths.isEmpty()) {
        return 1;
    }
    std::printf("Generated %d packages in %.1f s\n", count, clock.nsecsElapsed() / 1e9);
    std::shared_ptr<const LibraryCatalog> catalog;
    {
        LibraryIndex index(nullptr, database);
        refresh(index, "Cold index (empty database):");
    }
    // A newly started program meets the warm index with a heap of its own.
    QProcess warm;
    warm.setProcessChannelMode(QProcess::ForwardedChannels);
    warm.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--warm")});
    warm.waitForFinished(-1);
    {
        LibraryIndex index(nullptr, database);
        refresh(index, "Warm index, same program:");
        // The window refreshes its folder after every listing, with the index it holds.
        refresh(index, "The same again, same index:");
        const QDateTime later = QDateTime::currentDateTime().addSecs(60);
        for (int i = 0; i < 100; ++i) {
            QFile file(paths[i * (count / 100)]);
            if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(later, QFileDevice::FileModificationTime)) {
                std::fprintf(stderr, "cannot touch %s\n", qPrintable(file.fileName()));
            }
        }
        refresh(index, "After touching 100 packages:");
        // A move or delete is in every answer at once; its catalog is made off the GUI thread.
        QSignalSpy changed(&index, &LibraryIndex::ready);
        fastest("A move, on the GUI thread:", [&] { index.update({paths[0]}); });
        fastest("A move, until answers have it:", [&] {
            index.update({paths[0]});
            index.catalog();
        });
        while (changed.wait(1000) || index.isRunning()) {
        }
        catalog = index.catalog();
    }
    std::printf("Peak memory after indexing:    %8lld MiB\n", peakRssMiB());
    const std::atomic<bool> running{false};
    fastest("  of which the folder walk:",
            [&] { LibraryScan::findPackages(root + QStringLiteral("/library"), running); });
    fastest("  of which the database load:", [&] {
        QHash<QString, IndexedPackage> known;
        IndexDatabase(database).load(root + QStringLiteral("/library"), known);
    });
    fastest("  of which the catalog build:", [&] { LibraryCatalog copy(catalog->packages()); });
    const LibraryCatalog& full = *catalog;
    int sizes[5] = {};
    fastest("Query missing:", [&] { sizes[0] = LibraryQueries::missing(full).size(); });
    fastest("Query used-by:", [&] { sizes[1] = LibraryQueries::usedBy(full, packageName(1, 1, 10)).size(); });
    fastest("Query old:", [&] { sizes[2] = LibraryQueries::oldVersions(full).size(); });
    fastest("Query broken:", [&] { sizes[3] = LibraryQueries::broken(full).size(); });
    fastest("Query duplicates:", [&] { sizes[4] = LibraryQueries::duplicates(full).size(); });
    std::printf("  (entries: %d missing, %d users, %d old, %d broken, %d duplicates)\n", sizes[0], sizes[1],
                sizes[2], sizes[3], sizes[4]);
    LibrarySpace space;
    fastest("Query space:", [&] { space = LibrarySpace::of(full); });
    std::printf("  (%d creators, %d old versions nothing references)\n", space.creators.size(),
                space.oldUnreferenced.paths.size());
    SpacePage page;
    page.resize(1100, 650);
    page.show();
    QCoreApplication::processEvents();
    fastest("Space tab filled and drawn:", [&] {
        page.setSpace(space);
        page.grab();
    });
    std::printf("Peak memory of the benchmark:  %8lld MiB\n", peakRssMiB());

    const int sample = qMin(1000, count);
    clock.restart();
    for (int i = 0; i < sample; ++i) {
        PackageReader::read(paths[i], 0, 0);
    }
    const double inProcess = clock.nsecsElapsed() / 1e6;
    HZip zip;
    const QString scratch = root + QStringLiteral("/7z");
    clock.restart();
    for (int i = 0; i < sample; ++i) {
        QString extracted;
        zip.ExtractAFile(paths[i], QStringLiteral("meta.json"), scratch, extracted);
        QFile file(extracted);
        file.open(QIODevice::ReadOnly);
        QJsonDocument::fromJson(file.readAll());
    }
    const double sevenZip = clock.nsecsElapsed() / 1e6;
    std::printf("meta.json of %d packages: in process %.0f ms, one 7-Zip run each %.0f ms (%.0fx)\n", sample,
                inProcess, sevenZip, sevenZip / qMax(1.0, inProcess));
    QDir(root).removeRecursively();
    return 0;
}
