#ifndef LIBRARYCATALOG_H
#define LIBRARYCATALOG_H

#include "caselessindex.h"
#include "indexedpackage.h"
#include "packagepresence.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

/// An immutable snapshot of the library index for one listed folder, with the
/// look-up tables that the queries need, built once.
///
/// Names compare ignoring case, as the game's file names do on Windows. Only usable
/// packages (readable, with a parsed name) count as present.
class LibraryCatalog
{
public:
    LibraryCatalog() = default;
    /// Takes the packages in any order; they are kept sorted by path.
    explicit LibraryCatalog(QVector<IndexedPackage> packages);

    /// A catalog to share between threads. Freeing one of a large library takes longer
    /// than a frame: the last owner on the GUI thread leaves that to another thread.
    static std::shared_ptr<const LibraryCatalog> shared(QVector<IndexedPackage> packages);

    const QVector<IndexedPackage>& packages() const { return all; }
    /// packages()[index].name(), made once.
    const QString& nameOf(int index) const { return names[index]; }

    /// Whether the reference `name` is satisfied, and by which packages.
    Presence presence(const QString& name) const { return present.find(name); }
    /// Indexes of the present versions of "Creator.Package", lowest version first.
    QVector<int> versions(const QString& creatorPackage) const { return present.versions(creatorPackage); }
    /// Indexes of the present packages of this name (without ".var").
    QVector<int> named(const QString& name) const { return byName.values(name); }
    /// Indexes of the packages (usable or not) that hold a reference, direct or
    /// nested, to exactly this name, each once.
    QVector<int> referrers(const QString& name) const { return referrersByName.values(name); }
    /// The referenced names of "Creator.Package" that admit more than one version
    /// ("latest", "minN"), each once.
    QStringList openReferences(const QString& creatorPackage) const;
    /// Every referenced name, once, in one of the spellings used.
    QStringList referencedNames() const { return referrersByName.names(); }
    /// Every "Creator.Package" of which some version is present.
    QStringList packageKeys() const { return present.keys(); }

private:
    QVector<IndexedPackage> all;
    QVector<QString> names;
    PackagePresence present;
    CaselessIndex byName;
    CaselessIndex referrersByName;
    // The open references by "Creator.Package", as indexes into `openNames`.
    QStringList openNames;
    CaselessIndex openByKey;
};

#endif // LIBRARYCATALOG_H
