#include "libraryscan.h"

#include "indexdatabase.h"
#include "packagereader.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <future>
#include <memory>
#include <vector>

#ifndef Q_OS_WIN
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

#ifndef Q_OS_WIN
IndexedPackage fromStatus(const QString& path, const struct stat& status)
{
    return IndexedPackage::fromFile(path, status.st_size,
                                    qint64(status.st_mtim.tv_sec) * 1000 +
                                        status.st_mtim.tv_nsec / 1000000);
}
#endif

// A package file of the given path with its size and time, or one without a name
// when the file cannot be looked at.
IndexedPackage stamped(const QFileInfo& file)
{
#ifdef Q_OS_WIN
    return IndexedPackage::fromFile(file.filePath(), file.size(), file.lastModified().toMSecsSinceEpoch());
#else
    // QFileInfo gives times in local time only; converting them back costs several
    // system calls a file, a third of a warm refresh.
    struct stat status;
    if (::stat(QFile::encodeName(file.filePath()).constData(), &status) != 0) {
        return IndexedPackage();
    }
    return fromStatus(file.filePath(), status);
#endif
}

void walk(const QString& folder, QSet<QString>& seen, QVector<IndexedPackage>& found,
          const std::atomic<bool>& stop)
{
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty() || seen.contains(real)) {
        return;
    }
    seen.insert(real);
#ifdef Q_OS_WIN
    // The iterator knows each entry's type from the directory itself, so that only a
    // package costs a look at its size and time.
    QDirIterator entries(folder, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
    while (entries.hasNext() && !stop) {
        entries.next();
        const QFileInfo entry = entries.fileInfo();
        if (entry.isDir()) {
            walk(entry.filePath(), seen, found, stop);
        } else if (entry.suffix() == QLatin1String("var")) {
            IndexedPackage package = stamped(entry);
            if (!package.path.isEmpty()) {
                found.append(package);
            }
        }
    }
#else
    // The directory itself tells most entries' type, and one call a package its size
    // and time: half the time of QDirIterator with a QFileInfo an entry.
    DIR* const directory = ::opendir(QFile::encodeName(folder).constData());
    if (directory == nullptr) {
        return;
    }
    const QString prefix = folder + QLatin1Char('/');
    while (const dirent* entry = stop ? nullptr : ::readdir(directory)) {
        const char* const name = entry->d_name;
        const size_t length = std::strlen(name);
        const bool package = length > 4 && std::strcmp(name + length - 4, ".var") == 0;
        // Hidden entries, "." and ".." are left out, as QDir leaves them out.
        if (name[0] == '.' || (entry->d_type == DT_REG && !package)) {
            continue;
        }
        const QString path = prefix + QFile::decodeName(name);
        if (entry->d_type == DT_DIR) {
            walk(path, seen, found, stop);
            continue;
        }
        // Links are followed, as QDir follows them; broken ones are left out.
        struct stat status;
        if (::fstatat(::dirfd(directory), name, &status, 0) != 0) {
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            walk(path, seen, found, stop);
        } else if (S_ISREG(status.st_mode) && package) {
            found.append(fromStatus(path, status));
        }
    }
    ::closedir(directory);
#endif
}

// Whether `known` still tells what `file` holds; a file that could not be read is
// read again every time.
bool sameFile(const IndexedPackage& known, const IndexedPackage& file)
{
    return !known.unreadable && known.size == file.size && known.modified == file.modified;
}

} // namespace

LibraryScan::LibraryScan(const QString& folder, const QString& databasePath, const QStringList& paths,
                         std::shared_ptr<const LibraryCatalog> base, bool whole)
    : folder(folder), databasePath(databasePath), paths(paths), base(std::move(base)), whole(whole)
{
}

QVector<IndexedPackage> LibraryScan::findPackages(const QString& folder, const std::atomic<bool>& stop)
{
    QVector<IndexedPackage> found;
    QSet<QString> seen;
    walk(folder, seen, found, stop);
    // Sorted here, beside the database load, the catalog finds them in order.
    std::sort(found.begin(), found.end(), IndexedPackage::pathLess);
    return found;
}

std::shared_ptr<const LibraryCatalog> LibraryScan::run(const std::atomic<bool>& stop, const Progress& progress)
{
    IndexDatabase database(databasePath);
    QVector<IndexedPackage> packages; // what the catalog will hold
    QVector<IndexedPackage> toRead;
    QStringList gone;
    const QSet<QString> forced(paths.begin(), paths.end());
    if (!whole && base && !paths.isEmpty()) {
        for (const IndexedPackage& package : base->packages()) {
            if (!forced.contains(package.path)) {
                packages.append(package);
            }
        }
        const QString prefix = folder + QLatin1Char('/');
        for (const QString& path : paths) {
            const QFileInfo info(path);
            const IndexedPackage file = stamped(info);
            if (path.startsWith(prefix) && info.isFile() && info.suffix() == QLatin1String("var") &&
                !file.path.isEmpty()) {
                toRead.append(file);
            } else {
                gone << path;
            }
        }
    } else {
        // The walk waits on the file system and the load on the database: each on a
        // core of its own.
        auto walking = std::async(std::launch::async,
                                  [this, &stop] { return findPackages(folder, stop); });
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
        const QVector<IndexedPackage> found = walking.get();
        packages.reserve(found.size());
        int met = 0;
        for (const IndexedPackage& file : found) {
            const auto it = known.constFind(file.path);
            met += it != known.constEnd();
            if (it != known.constEnd() && sameFile(*it, file) && !forced.contains(file.path)) {
                // The walk has parsed the name already.
                IndexedPackage package = file;
                package.licence = it->licence;
                package.problem = it->problem;
                package.references = it->references;
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
    if (base && toRead.isEmpty() && gone.isEmpty()) {
        return base;
    }
    readAll(toRead, stop, progress);
    // A database that cannot be written costs the next run time, not this one's result.
    if (stop || (!database.store(toRead, gone, stop) && stop)) {
        return nullptr;
    }
    packages += toRead;
    return std::make_shared<const LibraryCatalog>(std::move(packages));
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
        threads.back()->start();
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
