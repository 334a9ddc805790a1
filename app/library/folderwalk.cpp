#include "folderwalk.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#ifdef Q_OS_WIN
#include <QDateTime>
#include <QSet>
#else
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace FolderWalk {

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

namespace {

#ifndef Q_OS_WIN
qint64 msecsOf(const struct stat& status)
{
    return qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
}
#endif

#ifdef Q_OS_WIN

class Walk
{
public:
    explicit Walk(const StopCheck& stopped) : stopped(stopped) {}

    void folder(const QString& path)
    {
        const QString real = QFileInfo(path).canonicalFilePath();
        if (real.isEmpty() || seen.contains(real)) {
            return;
        }
        seen.insert(real);
        const QFileInfoList entries = QDir(path).entryInfoList(
            QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsFirst);
        for (const QFileInfo& entry : entries) {
            if (stopped()) {
                return;
            }
            if (entry.isDir()) {
                folder(entry.filePath());
            } else if (entry.suffix() == QLatin1String("var")) {
                const QString file = entry.canonicalFilePath();
                if (!file.isEmpty() && !seen.contains(file)) {
                    seen.insert(file);
                    found.append(IndexedPackage::fromFile(entry.filePath(), entry.size(),
                                                          entry.lastModified().toMSecsSinceEpoch()));
                }
            }
        }
    }

    QVector<IndexedPackage> found;

private:
    const StopCheck& stopped;
    QSet<QString> seen;
};

#else

struct Identity
{
    dev_t device;
    ino_t inode;
    bool operator==(const Identity& other) const { return device == other.device && inode == other.inode; }
};

struct IdentityHash
{
    size_t operator()(const Identity& id) const
    {
        return std::hash<quint64>()(quint64(id.inode) * 31 + quint64(id.device));
    }
};

// Reads directories directly: the directory tells most entries' type, and one call a
// package its size, time and identity, at a fraction of the cost of QDir and QFileInfo.
class Walk
{
public:
    explicit Walk(const StopCheck& stopped) : stopped(stopped) {}

    void folder(const QString& path, const struct stat& status)
    {
        if (!seen.insert({status.st_dev, status.st_ino}).second) {
            return;
        }
        DIR* const directory = ::opendir(QFile::encodeName(path).constData());
        if (directory == nullptr) {
            return;
        }
        struct Entry
        {
            QString name;
            struct stat status;
        };
        std::vector<Entry> folders;
        std::vector<Entry> packages;
        while (const dirent* entry = ::readdir(directory)) {
            const char* const name = entry->d_name;
            const size_t length = std::strlen(name);
            const bool package = length > 4 && std::strcmp(name + length - 4, ".var") == 0;
            // Hidden entries, "." and ".." are left out, as QDir leaves them out.
            if (name[0] == '.' || (entry->d_type == DT_REG && !package)) {
                continue;
            }
            // Links are followed, as QDir follows them; broken ones are left out.
            Entry found{QString(), {}};
            if (::fstatat(::dirfd(directory), name, &found.status, 0) != 0) {
                continue;
            }
            if (S_ISDIR(found.status.st_mode)) {
                found.name = QFile::decodeName(name);
                folders.push_back(std::move(found));
            } else if (S_ISREG(found.status.st_mode) && package) {
                found.name = QFile::decodeName(name);
                packages.push_back(std::move(found));
            }
        }
        ::closedir(directory);
        const auto byName = [](const Entry& a, const Entry& b) { return a.name < b.name; };
        std::sort(folders.begin(), folders.end(), byName);
        std::sort(packages.begin(), packages.end(), byName);
        for (const Entry& entry : folders) {
            if (stopped()) {
                return;
            }
            folder(childPath(path, entry.name), entry.status);
        }
        for (const Entry& entry : packages) {
            if (stopped()) {
                return;
            }
            if (seen.insert({entry.status.st_dev, entry.status.st_ino}).second) {
                found.append(IndexedPackage::fromFile(
                    childPath(path, entry.name), entry.status.st_size, msecsOf(entry.status)));
            }
        }
    }

    QVector<IndexedPackage> found;

private:
    const StopCheck& stopped;
    std::unordered_set<Identity, IdentityHash> seen;
};

#endif

} // namespace

IndexedPackage package(const QString& path)
{
    if (!path.endsWith(QLatin1String(".var"))) {
        return IndexedPackage();
    }
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    return info.isFile() ? IndexedPackage::fromFile(path, info.size(), info.lastModified().toMSecsSinceEpoch())
                         : IndexedPackage();
#else
    // QFileInfo gives times in local time only; converting them back costs several
    // system calls a file.
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return IndexedPackage();
    }
    return IndexedPackage::fromFile(path, status.st_size, msecsOf(status));
#endif
}

QVector<IndexedPackage> packages(const QString& folder, const StopCheck& stopped)
{
    Walk walk(stopped);
#ifdef Q_OS_WIN
    walk.folder(folder);
#else
    struct stat status;
    if (::stat(QFile::encodeName(folder).constData(), &status) == 0 && S_ISDIR(status.st_mode)) {
        walk.folder(folder, status);
    }
#endif
    return walk.found;
}

} // namespace FolderWalk
