#ifndef LIBRARYCATALOG_H
#define LIBRARYCATALOG_H

#include "indexedpackage.h"

#include <QHash>
#include <QString>
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

    /// Indexes of the present versions of the package with this key (see
    /// PackageName::key), lowest version first.
    QVector<int> versions(const QString& key) const { return versionsByKey.value(key); }
    /// Indexes of the present packages of this name (without ".var", any case).
    QVector<int> named(const QString& name) const { return byName.value(name.toLower()); }
    /// Indexes of the packages (usable or not) that hold a reference, direct or
    /// nested, to exactly this name (any case), each once.
    QVector<int> referrers(const QString& name) const { return referrersByName.value(name.toLower()); }
    /// The keys of every package of which some version is present.
    QList<QString> packageKeys() const { return versionsByKey.keys(); }
    /// Every referenced name, in lower case.
    QList<QString> referencedNames() const { return referrersByName.keys(); }

private:
    QVector<IndexedPackage> all;
    QHash<QString, QVector<int>> versionsByKey;
    QHash<QString, QVector<int>> byName;
    QHash<QString, QVector<int>> referrersByName;
};

#endif // LIBRARYCATALOG_H
