#ifndef PACKAGEPRESENCE_H
#define PACKAGEPRESENCE_H

#include "caselessindex.h"
#include "indexedpackage.h"

#include <QString>
#include <QStringList>
#include <QVector>

/// How one reference to a package is met by the packages present.
struct Presence
{
    enum State
    {
        Missing,      ///< no version of the package is present
        OtherVersion, ///< versions are present, none of them the one asked for
        Present,
    };
    State state = Missing;
    /// Present: the packages that the reference resolves to, all copies of one version
    /// (the newest admitted for "latest" and "minN"). Otherwise the versions that are
    /// present, lowest first.
    QVector<int> packages;
};

/// The one rule of the whole program for whether a dependency is present, and by
/// which files: "Creator.Package.N" wants version N, "Creator.Package.latest" (any
/// case) any version, "Creator.Package.minN" version N or later; names compare
/// without regard to case, never as prefixes. It needs only the packages' file
/// names, so it answers as soon as a folder is listed.
class PackagePresence
{
public:
    PackagePresence() = default;
    /// Takes the packages that can satisfy references (`usable`), by index into `packages`.
    PackagePresence(const QVector<IndexedPackage>& packages, const QVector<bool>& usable);

    Presence find(const QString& reference) const;
    /// Indexes of the present versions of "Creator.Package", lowest version first.
    QVector<int> versions(const QString& creatorPackage) const { return byKey.values(creatorPackage); }
    /// Every "Creator.Package" of which some version is present.
    QStringList keys() const { return byKey.names(); }

private:
    QVector<int> versionOf; // by package index
    CaselessIndex byKey;
};

#endif // PACKAGEPRESENCE_H
