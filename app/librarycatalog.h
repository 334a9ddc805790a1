#ifndef LIBRARYCATALOG_H
#define LIBRARYCATALOG_H

#include "caselessindex.h"
#include "indexedpackage.h"

#include <QString>
#include <QStringList>
#include <QVector>

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

    const QVector<IndexedPackage>& packages() const { return all; }
    /// packages()[index].name(), made once.
    const QString& nameOf(int index) const { return names[index]; }

    /// Indexes of the present versions of "Creator.Package", lowest version first.
    QVector<int> versions(const QString& creatorPackage) const { return versionsByKey.values(creatorPackage); }
    /// Indexes of the present packages of this name (without ".var").
    QVector<int> named(const QString& name) const { return byName.values(name); }
    /// Indexes of the packages (usable or not) that hold a reference, direct or
    /// nested, to exactly this name, each once.
    QVector<int> referrers(const QString& name) const { return referrersByName.values(name); }
    /// Every referenced name, once, in one of the spellings used.
    QStringList referencedNames() const { return referrersByName.names(); }
    /// Every "Creator.Package" of which some version is present.
    QStringList packageKeys() const { return versionsByKey.names(); }

private:
    QVector<IndexedPackage> all;
    QVector<QString> names;
    CaselessIndex versionsByKey;
    CaselessIndex byName;
    CaselessIndex referrersByName;
};

#endif // LIBRARYCATALOG_H
