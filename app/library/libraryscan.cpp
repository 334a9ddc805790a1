#include "libraryscan.h"

#include "folderwalk.h"
#include "indexdatabase.h"
#include "packagereader.h"

#include <QSet>
#include <QThread>

#include <algorithm>
#include <future>
#include <memory>
#include <vector>


namespace {

// Whether `known` still tells what `file` holds; a file that could not be read is
// read again every time.
bool sameFile(const IndexedPackage& known, const IndexedPackage& file)
{
    return !known.unreadable && known.size == file.size && known.modified == file.modified;
}

} // namespace

LibraryScan::LibraryScan(const QString& folder, const QString& databasePath, const QStringList& paths,
                         std::shared_ptr<const LibraryCatalog> base, bool whole,
                         std::shared_ptr<const LibraryCatalog> listed)
    : folder(folder), databasePath(databasePath), paths(paths), base(std::move(base)), whole(whole),
      listed(std::move(listed))
{
}

QVector<IndexedPackage> LibraryScan::findPackages(const QString& folder, const std::atomic<bool>& stop)
{
    QVector<IndexedPackage> found = FolderWalk::packages(folder, [&stop] { return bool(stop); });
    // Sorted here, beside the database load, the catalog finds them in order.
    std::sort(found.begin(), found.end(), IndexedPackage::pathLess);
    return found;
}

std::shared_ptr<const LibraryCatalog> LibraryScan::described(QVector<IndexedPackage> found,
                                                             const LibraryCatalog* known)
{
    if (known != nullptr && !known->packages().isEmpty()) {
        QHash<QString, int> byPath;
        byPath.reserve(known->packages().size());
        for (int i = 0; i < known->packages().size(); ++i) {
            byPath.insert(known->packages()[i].path, i);
        }
        for (IndexedPackage& file : found) {
            const auto it = byPath.constFind(file.path);
            if (it != byPath.constEnd() && sameFile(known->packages()[*it], file)) {
                file.takeDescription(known->packages()[*it]);
            }
        }
    }
    return LibraryCatalog::shared(std::move(found));
}

std::shared_ptr<const LibraryCatalog> LibraryScan::run(const std::atomic<bool>& stop, const Progress& progress)
{
    IndexDatabase database(databasePath);
    QVector<IndexedPackage> packages; // what the catalog will hold
    QVector<IndexedPackage> toRead;
    QStringList gone;
    const QSet<QString> forced(paths.begin(), paths.end());
    if (!whole && base) {
        for (const IndexedPackage& package : base->packages()) {
            if (forced.contains(package.path)) {
                continue;
            }
            // A package that arrived by a move is known by its name until it is read.
            (package.described ? packages : toRead).append(package);
        }
        const QString prefix = FolderWalk::childPath(folder, QString());
        for (const QString& path : paths) {
            const IndexedPackage file = FolderWalk::package(path);
            if (path.startsWith(prefix) && !file.path.isEmpty()) {
                toRead.append(file);
            } else {
                gone << path;
            }
        }
    } else {
        // The walk waits on the file system and the load on the database: each on a
        // core of its own. A listing has walked the folder already.
        std::future<QVector<IndexedPackage>> walking;
        if (!listed) {
            walking = std::async(std::launch::async, [this, &stop] { return findPackages(folder, stop); });
        }
        QHash<QString, IndexedPackage> known;
        if (base) {
            // The catalog this process holds is what the database would give, without
            // reading it again.
            known.reserve(base->packages().size());
            for (const IndexedPackage& package : base->packages()) {
                known.insert(package.path, package);
            }
        } else {
            database.load(folder, known);
        }
        const QVector<IndexedPackage> found = listed ? listed->packages() : walking.get();
        packages.reserve(found.size());
        int met = 0;
        for (const IndexedPackage& file : found) {
            const auto it = known.constFind(file.path);
            met += it != known.constEnd();
            if (it != known.constEnd() && it->described && sameFile(*it, file) && !forced.contains(file.path)) {
                // The walk has parsed the name already.
                IndexedPackage package = file;
                package.takeDescription(*it);
                packages.append(package);
            } else {
                toRead.append(file);
            }
        }
        // What the walk did not meet is gone; mostly nothing is.
        if (met < known.size()) {
            QSet<QString> paths;
            for (const IndexedPackage& file : found) {
                paths.insert(file.path);
            }
            for (auto it = known.cbegin(); it != known.cend(); ++it) {
                if (!paths.contains(it.key())) {
                    gone << it.key();
                }
            }
        }
    }
    if (stop) {
        return nullptr;
    }
    if (toRead.isEmpty() && gone.isEmpty()) {
        // Nothing new: a catalog that holds what was found, described, serves as it is.
        const auto complete = [](const LibraryCatalog& catalog) {
            return std::all_of(catalog.packages().cbegin(), catalog.packages().cend(),
                               [](const IndexedPackage& package) { return package.described; });
        };
        if (listed && complete(*listed)) {
            return listed;
        }
        if (!listed && base) {
            return base;
        }
    }
    readAll(toRead, stop, progress);
    // A database that cannot be written costs the next run time, not this one's result.
    if (stop || (!database.store(toRead, gone, stop) && stop)) {
        return nullptr;
    }
    packages += toRead;
    return LibraryCatalog::shared(std::move(packages));
}

void LibraryScan::readAll(QVector<IndexedPackage>& packages, const std::atomic<bool>& stop,
                          const Progress& progress) const
{
    const int total = packages.size();
    if (total == 0) {
        return;
    }
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    // Each thread replaces the entries it takes; the vector itself does not change.
    IndexedPackage* const items = packages.data();
    const auto work = [&] {
        for (int i = next++; i < total && !stop; i = next++) {
            items[i] = PackageReader::read(items[i].path, items[i].size, items[i].modified);
            ++done;
        }
    };
    const int count = qBound(1, QThread::idealThreadCount(), total);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back(QThread::create(work));
        // The user's own work comes first: the index takes what the cores leave.
        threads.back()->start(QThread::IdlePriority);
    }
    // Progress at most 20 times a second, from this thread only.
    for (auto& thread : threads) {
        while (!thread->wait(50)) {
            if (progress) {
                progress(done, total);
            }
        }
    }
    if (progress) {
        progress(done, total);
    }
}
