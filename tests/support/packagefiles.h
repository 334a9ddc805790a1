#ifndef PACKAGEFILES_H
#define PACKAGEFILES_H

#include <QDateTime>
#include <QString>

/// Package files for listing tests: empty archives of any size (sparse, so that even
/// gigabytes cost no disk space) with a chosen modification time.
namespace PackageFiles {

/// Creates the file and its missing parent folders. Returns false on failure.
bool create(const QString& path, qint64 size, const QDateTime& modified = QDateTime());

} // namespace PackageFiles

#endif // PACKAGEFILES_H
