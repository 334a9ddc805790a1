#ifndef PACKAGEREADER_H
#define PACKAGEREADER_H

#include "indexedpackage.h"

#include <QByteArray>

/// Reads what the library index keeps of one package file: the licence and every
/// dependency reference of its root meta.json, or the reason it cannot be used.
namespace PackageReader {

/// Nested "dependencies" deeper than this are not followed.
constexpr int maxNesting = 500;

/// The package file at `path`, read in process; never fails, a package that cannot be
/// used comes back with its problem set.
IndexedPackage read(const QString& path, qint64 size, qint64 modified);

/// Fills the licence and references of `package` from the bytes of its meta.json,
/// or sets its problem when they are not a JSON object.
void describe(const QByteArray& metaJson, IndexedPackage& package);

} // namespace PackageReader

#endif // PACKAGEREADER_H
