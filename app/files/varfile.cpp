#include "varfile.h"

#include <QFileInfo>

#include <algorithm>
#include <vector>

varFile::varFile(const IndexedPackage& package)
    : fullPath(package.path), fileSize(package.size), fileName(package.fileName),
      modified(QDateTime::fromMSecsSinceEpoch(package.modified))
{
}

QString varFile::getTimeString() const
{
    return modified.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

int varFile::compareName(const varFile& other) const
{
    return fileName.compare(other.fileName, Qt::CaseInsensitive);
}

bool varFile::isSameFile(const varFile& other) const
{
    return compareName(other) == 0 && fileSize == other.fileSize;
}

bool varFile::moveOrDelete(int mode, const QString& destPath, const CopyProgress& progress) const
{
    if (mode != 0 && mode != 1) {
        return false;
    }
    const auto act = [mode, &destPath](const QString& path, const CopyProgress& copied) {
        return mode == 0 ? deleteFileToTrash(path) : moveFileTo(path, destPath, copied);
    };
    if (!act(fullPath, progress)) {
        return false;
    }
    // The small companion is not cancelled halfway: it must not stay behind its package.
    const QString companion = fullPath + QStringLiteral(".depend.txt");
    if (QFileInfo::exists(companion)) {
        act(companion, CopyProgress());
    }
    return true;
}

void varFile::sortByName(QVector<varFile*>& files)
{
    std::stable_sort(files.begin(), files.end(),
                     [](const varFile* a, const varFile* b) { return a->compareName(*b) < 0; });
    std::vector<qint64> sizes;
    for (auto first = files.begin(); first != files.end();) {
        const auto last = std::find_if(first + 1, files.end(), [first](const varFile* f) {
            return f->compareName(**first) != 0;
        });
        if (last - first > 1) {
            sizes.clear();
            for (auto it = first; it != last; ++it) {
                sizes.push_back((*it)->fileSize);
            }
            std::sort(sizes.begin(), sizes.end());
            for (auto it = first; it != last; ++it) {
                const auto same = std::equal_range(sizes.begin(), sizes.end(), (*it)->fileSize);
                if (same.second - same.first > 1) {
                    (*it)->duplicate = true;
                }
            }
        }
        first = last;
    }
}
