#include "hfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

bool isDotEntry(const QString& name)
{
    return name == QLatin1String(".") || name == QLatin1String("..");
}

bool searchBelow(const QString& folder, const QString& fileName, QString& foundPath,
                 QSet<QString>& visited)
{
    // A link back to a parent folder would otherwise be walked for ever.
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty() || visited.contains(real)) {
        return false;
    }
    visited.insert(real);

    const QFileInfoList entries = QDir(folder).entryInfoList();
    for (const QFileInfo& entry : entries) {
        if (isDotEntry(entry.fileName())) {
            continue;
        }
        if (entry.isDir() && searchBelow(entry.filePath(), fileName, foundPath, visited)) {
            return true;
        }
        if (entry.fileName() == fileName) {
            foundPath = entry.filePath();
            return true;
        }
    }
    return false;
}

} // namespace

HFile::HFile() = default;

HFile::~HFile() = default;

QString HFile::mkMutiDir(const QString& path)
{
    if (!path.isEmpty() && QDir(path).exists(path)) {
        return path;
    }
    if (QDir::isRelativePath(path)) {
        // No existing prefix to stop at: refuse rather than recurse for ever.
        qDebug() << "mkMutiDir: not an absolute path:" << path;
        return path;
    }
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString parent = path.left(slash);
    const QString leaf = path.mid(slash + 1);
    const QString made =
        (parent.isEmpty() ? QString() : mkMutiDir(parent)) + QLatin1Char('/') + leaf;
    if (!leaf.isEmpty()) {
        // Created by its whole path: a leaf such as ":" alone would be taken for a
        // resource path and made in the working folder.
        QDir().mkpath(made);
    }
    return made;
}

bool HFile::searchFile(const QString& folder, const QString& fileName, QString& foundPath)
{
    QSet<QString> visited;
    return searchBelow(folder, fileName, foundPath, visited);
}

bool HFile::copyFile(const QString& src, const QString& dst)
{
    qDebug() << src;
    // Only regular files: reading a pipe or a device would block or never end.
    if (!QFileInfo(src).isFile() || QFileInfo::exists(dst) || QFileInfo(dst).isSymLink()) {
        return false;
    }
    if (QDir::isRelativePath(dst)) {
        qDebug() << "copyFile: not an absolute path:" << dst;
        return false;
    }
    mkMutiDir(dst.left(dst.lastIndexOf(QLatin1Char('/'))));
    return QFile::copy(src, dst);
}

bool HFile::copyPath(const QString& src, const QString& dst)
{
    const QString srcDir = src.left(src.lastIndexOf(QLatin1Char('/')));
    const QString dstDir = dst.left(dst.lastIndexOf(QLatin1Char('/')));
    const QFileInfoList entries = QDir(srcDir).entryInfoList();
    for (const QFileInfo& entry : entries) {
        if (isDotEntry(entry.fileName()) || entry.isDir()) {
            continue;
        }
        copyFile(entry.filePath(), dstDir + QLatin1Char('/') + entry.fileName());
    }
    return true;
}
