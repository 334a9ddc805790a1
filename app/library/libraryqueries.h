#ifndef LIBRARYQUERIES_H
#define LIBRARYQUERIES_H

#include "librarycatalog.h"

#include <QString>
#include <QStringList>
#include <QVector>

/// A referenced package that no listed package satisfies.
struct MissingDependency
{
    QString dependency;    ///< the name as referenced
    bool otherVersion = false; ///< absent in that version, but other versions are present
    QStringList present;   ///< those other versions, lowest first
    QStringList neededBy;  ///< the referring packages' names, sorted
    QStringList routes;    ///< how each referred to it: "A.B.1", or "A.B.1 via X.Y.2/Q.R.3"
};
struct PackageUser
{
    QString package;
    QString path;
};
struct OldVersion
{
    QString package;
    QString path;
    QString newest;
    QStringList referencedBy; ///< packages that reference exactly this version, sorted
};
struct BrokenPackage
{
    QString path;
    QString problem;
};
struct DuplicateFile
{
    QString file;
    QStringList paths;
};

/// Questions about the whole library, answered from a catalog; each result is sorted
/// as the command line prints it.
namespace LibraryQueries {

/// Every referenced package that is not present in the referenced version (a
/// ".latest" reference wants any version), sorted by dependency.
QVector<MissingDependency> missing(const LibraryCatalog& catalog);
/// The packages whose references, direct or nested, `packageName` (without ".var")
/// satisfies: exactly, or as ".latest" when it is the newest version present. Sorted
/// by package.
QVector<PackageUser> usedBy(const LibraryCatalog& catalog, const QString& packageName);
/// Packages of which a higher version is present, sorted by package.
QVector<OldVersion> oldVersions(const LibraryCatalog& catalog);
/// Files that cannot be used, with the reason, sorted by path.
QVector<BrokenPackage> broken(const LibraryCatalog& catalog);
/// File names present in more than one folder (ignoring case), sorted by file.
QVector<DuplicateFile> duplicates(const LibraryCatalog& catalog);

} // namespace LibraryQueries

#endif // LIBRARYQUERIES_H
