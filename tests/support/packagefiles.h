#ifndef PACKAGEFILES_H
#define PACKAGEFILES_H

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

/// Package files for listing tests: empty archives of any size (sparse, so that even
/// gigabytes cost no disk space) with a chosen modification time.
namespace PackageFiles {

/// Creates the file and its missing parent folders. Returns false on failure.
inline bool create(const QString& path, qint64 size, const QDateTime& modified = QDateTime())
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.resize(size) &&
           (!modified.isValid() || file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace PackageFiles

#endif // PACKAGEFILES_H
