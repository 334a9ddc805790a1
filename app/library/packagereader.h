#ifndef PACKAGEREADER_H
#define PACKAGEREADER_H

#include "indexedpackage.h"

#include <QByteArray>

/// Reads what the library index keeps of one package file: the licence and every
/// dependency reference of its root meta.json, or the reason it cannot be used.
namespace PackageReader {

// What one package's references may cost; a meta.json beyond any of these makes the
// package broken, so that a hostile one cannot take the index's memory.
/// Nested "dependencies" may go this deep.
constexpr int maxNesting = 500;
/// At most this many references.
constexpr int maxReferences = 20000;
/// At most this many characters in the names and routes of all references, as a report
/// writes them out.
constexpr qint64 maxReferenceText = 1000000;

/// The package file at `path`, read in process; never fails, a package that cannot be
/// used comes back with its problem set. One that cannot be read, or that changed
/// from `size` and `modified` while it was read, comes back unreadable.
IndexedPackage read(const QString& path, qint64 size, qint64 modified);

/// Fills the licence and references of `package` from the bytes of its meta.json,
/// or sets its problem when they are not a JSON object or exceed the bounds above.
void describe(const QByteArray& metaJson, IndexedPackage& package);

} // namespace PackageReader

#endif // PACKAGEREADER_H
