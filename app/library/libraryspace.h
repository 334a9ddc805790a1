#ifndef LIBRARYSPACE_H
#define LIBRARYSPACE_H

#include "libraryqueries.h"

#include <QString>
#include <QStringList>
#include <QVector>

/// The files of one creator (ignoring case; "" for names that do not parse).
struct CreatorSpace
{
    QString creator;
    int packages = 0;
    qint64 bytes = 0;
};

/// Files that could go, each once.
struct ReclaimableFiles
{
    QStringList paths; ///< sorted by path
    qint64 bytes = 0;
};

/// Where the library's disk space goes: by creator, and what could be reclaimed.
/// Sizes are those the catalog recorded; nothing is read from the disk.
struct LibrarySpace
{
    int packages = 0;
    qint64 bytes = 0;
    QVector<CreatorSpace> creators; ///< largest first, then by creator
    /// Old versions that removing loses nothing: see isReclaimable().
    ReclaimableFiles oldUnreferenced;
    /// Every copy beyond the first, in path order, of a file name present in several folders.
    ReclaimableFiles duplicates;
    ReclaimableFiles broken;

    static LibrarySpace of(const LibraryCatalog& catalog);
    /// From the queries' answers for `catalog`, when they are at hand already.
    static LibrarySpace of(const LibraryCatalog& catalog, const QVector<OldVersion>& oldVersions,
                           const QVector<DuplicateFile>& duplicates, const QVector<BrokenPackage>& broken);

    /// Whether an old version can go: nothing asks for it by its exact version.
    static bool isReclaimable(const OldVersion& entry) { return entry.referencedBy.isEmpty(); }
};

#endif // LIBRARYSPACE_H
