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
/// References of one package that its content and its description disagree on.
struct ContentMismatch
{
    QString package;
    QString path;
    QStringList names; ///< sorted
};
/// One package that a package's content uses.
struct ContentUse
{
    QString name;   ///< as first written
    QString member; ///< the first member that uses it
    Presence::State state = Presence::Missing;
    bool declared = false; ///< the description declares it, directly or nested
};
struct BrokenPackage
{
    QString path;
    QString problem;
    bool unreadable = false; ///< it could not be read this time: it may well be sound
};
struct DuplicateFile
{
    QString file;
    QStringList paths;
};

/// Questions about the whole library, answered from a catalog; each result is sorted
/// as the command line prints it.
namespace LibraryQueries {

/// Every package referenced by `source` that is not present in the referenced version
/// (a ".latest" reference wants any version), sorted by dependency. Local files
/// need by their relative path.
QVector<MissingDependency> missing(const LibraryCatalog& catalog,
                                   DependencySource source = DependencySource::Declared);
/// The referrers whose references of `source`, declared ones direct or nested,
/// `packageName` (without ".var") satisfies: exactly, or as ".latest" or ".minN" when
/// it is the newest version present. Sorted by name, local files among the packages.
QVector<PackageUser> usedBy(const LibraryCatalog& catalog, const QString& packageName,
                            DependencySource source = DependencySource::Declared);
/// Packages of which a higher version is present, sorted by package; referencedBy
/// counts references of `source`.
QVector<OldVersion> oldVersions(const LibraryCatalog& catalog,
                                DependencySource source = DependencySource::Declared);
/// For each package whose content uses packages that its description declares neither
/// directly nor nested, those references; sorted by package. A "latest" or "minN"
/// declaration stands for every version it admits; the package's own name is no
/// dependency.
QVector<ContentMismatch> undeclared(const LibraryCatalog& catalog);
/// For each package whose content was read completely, the direct declarations that
/// none of its content uses; sorted by package.
QVector<ContentMismatch> unused(const LibraryCatalog& catalog);
/// What the content of catalog.packages()[index] uses, in the order met.
QVector<ContentUse> contentUses(const LibraryCatalog& catalog, int index);
/// Files that cannot be used, with the reason, sorted by path.
QVector<BrokenPackage> broken(const LibraryCatalog& catalog);
/// File names present in more than one folder (ignoring case), sorted by file.
QVector<DuplicateFile> duplicates(const LibraryCatalog& catalog);

} // namespace LibraryQueries

#endif // LIBRARYQUERIES_H
