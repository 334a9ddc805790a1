#ifndef RECORDBLOBS_H
#define RECORDBLOBS_H

#include "indexedpackage.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

/// How the index database keeps the lists of a package record in one column each: as
/// counted little-endian numbers and UTF-16 strings, read back without a stream, since
/// a warm start decodes hundreds of thousands of them. Each pack function is false
/// when the list cannot be encoded (memory ran out); each unpack function is false for
/// bytes that its pack function did not write. Unpacked texts are shared through `pool`.
namespace RecordBlobs {

using TextPool = QHash<QStringView, QString>;

bool packReferences(const QVector<PackageReference>& references, QByteArray& bytes);
bool unpackReferences(const QByteArray& bytes, TextPool& pool, QVector<PackageReference>& references);

/// Whether the content was read completely, its members and its references.
bool packContent(const IndexedPackage& package, QByteArray& bytes);
/// Also marks the package's content as read.
bool unpackContent(const QByteArray& bytes, TextPool& pool, IndexedPackage& package);

bool packNames(const QStringList& names, QByteArray& bytes);
bool unpackNames(const QByteArray& bytes, TextPool& pool, QStringList& names);

} // namespace RecordBlobs

#endif // RECORDBLOBS_H
