#include "libraryscan.h"

#include "contentreader.h"
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

// Runs work(0) to work(total - 1) on all cores, at the calling thread's priority (the
// index's, idle unless set). Reports progress at most 20 times a second, from the
// calling thread only.
void onAllCores(int total, const std::function<void(int)>& work, const std::atomic<bool>& stop,
                const std::function<void(int done, int total)>& progress)
{
    if (total == 0) {
        return;
    }
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    const auto run = [&] {
        for (int i = next++; i < total && !stop; i = next++) {
            work(i);
            ++done;
        }
    };
    const int count = qBound(1, QThread::idealThreadCount(), total);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back(QThread::create(run));
        threads.back()->start(QThread::currentThread()->priority());
    }
    for (auto& thread : threads) {
        while (!thread->wait(50)) {
            progress(done, total);
        }
    }
    progress(done, total);
}

} // namespace

LibraryScan::LibraryScan(const QString& folder, const QString& databasePath, const QStringList& paths,
                         std::shared_ptr<const LibraryCatalog> base, bool whole,
                         std::shared_ptr<const LibraryCatalog> listed, Content content)
    : folder(folder), databasePath(databasePath), paths(paths), base(std::move(base)), whole(whole),
      listed(std::move(listed)), content(std::move(content))
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
    return LibraryCatalog::shared(std::move(found), known != nullptr ? known->local() : LocalContent());
}

std::shared_ptr<const LibraryCatalog> LibraryScan::run(const std::atomic<bool>& stop, const Progress& progress,
                                                       const Publish& publish)
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
    QVector<LocalReferrer> localToRead;
    QStringList localGone;
    LocalContent local = knownLocal(database, localToRead, localGone, stop);
    if (stop) {
        return nullptr;
    }
    const bool contentWaits =
        content.read && (!toRead.isEmpty() || !localToRead.isEmpty() || !localGone.isEmpty() ||
                         std::any_of(packages.cbegin(), packages.cend(),
                                     [](const IndexedPackage& package) { return package.awaitsContent(); }));
    // A catalog that holds what was found, described (and its content read), serves as it is.
    const auto unchanged = [&](const std::shared_ptr<const LibraryCatalog>& catalog) {
        return catalog && toRead.isEmpty() && gone.isEmpty() &&
               catalog->local().gameFolder == local.gameFolder &&
               catalog->local().referrers.size() == local.referrers.size() &&
               std::all_of(catalog->packages().cbegin(), catalog->packages().cend(),
                           [](const IndexedPackage& package) { return package.described; });
    };
    const std::shared_ptr<const LibraryCatalog> same = unchanged(listed) ? listed : !listed && unchanged(base) ? base : nullptr;
    if (same && !contentWaits) {
        return same;
    }
    // Each thread replaces the entries it takes; the vector itself does not change.
    IndexedPackage* const items = toRead.data();
    onAllCores(
        toRead.size(),
        [items](int i) {
            items[i] = PackageReader::read(items[i].path, items[i].size, items[i].modified);
        },
        stop, [&progress](int done, int total) {
            if (progress) {
                progress(done, total, false);
            }
        });
    // A database that cannot be written costs the next run time, not this one's result.
    if (stop || (!database.store(toRead, gone, stop) && stop)) {
        return nullptr;
    }
    packages += toRead;
    if (!contentWaits) {
        return LibraryCatalog::shared(std::move(packages), std::move(local));
    }
    if (publish) {
        // The declared results come first; the content's follow.
        publish(same ? same : LibraryCatalog::shared(packages, local));
    }
    if (!readContent(database, packages, local, localToRead, localGone, stop, progress)) {
        return nullptr;
    }
    return LibraryCatalog::shared(std::move(packages), std::move(local));
}

LocalContent LibraryScan::knownLocal(IndexDatabase& database, QVector<LocalReferrer>& toRead, QStringList& gone,
                                     const std::atomic<bool>& stop) const
{
    LocalContent local;
    if (!content.read || content.gameFolder.isEmpty()) {
        return local;
    }
    local.gameFolder = content.gameFolder;
    const bool baseKnows = base && base->local().gameFolder == content.gameFolder;
    if (!whole) {
        // An update changes packages only.
        return baseKnows ? base->local() : local;
    }
    QHash<QString, LocalReferrer> known;
    if (baseKnows) {
        for (const LocalReferrer& file : base->local().referrers) {
            known.insert(file.path, file);
        }
    } else {
        database.loadLocal(content.gameFolder, known);
    }
    for (const LocalReferrer& file : LocalContentReader::find(content.gameFolder, stop)) {
        const auto it = known.find(file.path);
        if (it != known.end() && it->size == file.size && it->modified == file.modified) {
            local.referrers.append(*it);
        } else {
            toRead.append(file);
        }
        if (it != known.end()) {
            known.erase(it);
        }
    }
    gone = known.keys();
    return local;
}

bool LibraryScan::readContent(IndexDatabase& database, QVector<IndexedPackage>& packages, LocalContent& local,
                              QVector<LocalReferrer>& toRead, const QStringList& gone,
                              const std::atomic<bool>& stop, const Progress& progress) const
{
    database.loadContent(folder, packages);
    QVector<int> waiting;
    for (int i = 0; i < packages.size(); ++i) {
        if (packages[i].awaitsContent()) {
            waiting.append(i);
        }
    }
    QVector<LocalContentReader::Outcome> outcomes(toRead.size());
    // Each thread fills the entries it takes; the vectors themselves do not change.
    IndexedPackage* const items = packages.data();
    LocalReferrer* const files = toRead.data();
    const int total = waiting.size() + toRead.size();
    onAllCores(
        total,
        [&](int i) {
            if (i >= waiting.size()) {
                outcomes[i - waiting.size()] = LocalContentReader::read(content.gameFolder, files[i - waiting.size()]);
                return;
            }
            IndexedPackage& package = items[waiting[i]];
            ContentReferences found = ContentReader::read(package.path, stop);
            package.content = std::move(found.references);
            package.contentComplete = found.complete;
            package.contentRead = !stop;
        },
        stop, [&progress](int done, int total) {
            if (progress) {
                progress(done, total, true);
            }
        });
    if (stop) {
        return false;
    }
    QVector<IndexedPackage> readNow;
    readNow.reserve(waiting.size());
    for (int i : qAsConst(waiting)) {
        readNow.append(packages[i]);
    }
    QVector<LocalReferrer> kept;
    for (int i = 0; i < toRead.size(); ++i) {
        local.skipped += outcomes[i] == LocalContentReader::Outcome::Skipped;
        local.unreadable += outcomes[i] == LocalContentReader::Outcome::Unreadable;
        // References cut short still protect what they name; a file that could not be
        // read is read again next time.
        if (outcomes[i] == LocalContentReader::Outcome::Read ||
            (outcomes[i] == LocalContentReader::Outcome::Skipped && !toRead[i].references.isEmpty())) {
            kept.append(toRead[i]);
        }
    }
    if ((!database.store(readNow, QStringList(), stop, false) ||
         !database.storeLocal(content.gameFolder, kept, gone, stop)) && stop) {
        return false;
    }
    local.referrers += kept;
    std::sort(local.referrers.begin(), local.referrers.end(),
              [](const LocalReferrer& a, const LocalReferrer& b) { return a.path < b.path; });
    return true;
}
