#include "libraryqueries.h"

#include "caselesskey.h"
#include "packagename.h"

#include <QHash>

#include <algorithm>

namespace LibraryQueries {

namespace {

// Names sort ignoring case; the case decides only between otherwise equal names, so
// that the order never depends on the input's.
bool nameLess(const QString& a, const QString& b)
{
    const int c = compareCaseless(a, b);
    return c != 0 ? c < 0 : a < b;
}

QStringList sortedUnique(QStringList names)
{
    std::sort(names.begin(), names.end(), nameLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

QStringList namesOf(const LibraryCatalog& catalog, const QVector<int>& indexes)
{
    QStringList names;
    names.reserve(indexes.size());
    for (int i : indexes) {
        names << catalog.nameOf(i);
    }
    return sortedUnique(names);
}

// Whether the reference `name` is satisfied; when it is not, `entry` gets the versions
// that are present instead.
bool satisfied(const LibraryCatalog& catalog, const QString& name, MissingDependency& entry)
{
    const Presence found = catalog.presence(name);
    if (found.state == Presence::Present) {
        return true;
    }
    entry.otherVersion = found.state == Presence::OtherVersion;
    // Lowest version first, as the catalog keeps them.
    for (int i : found.packages) {
        if (!entry.present.contains(catalog.nameOf(i))) {
            entry.present << catalog.nameOf(i);
        }
    }
    return false;
}

} // namespace

QVector<MissingDependency> missing(const LibraryCatalog& catalog)
{
    QVector<MissingDependency> result;
    for (const QString& name : catalog.referencedNames()) {
        MissingDependency entry;
        if (satisfied(catalog, name, entry)) {
            continue;
        }
        QStringList spellings;
        const QVector<int> referrers = catalog.referrers(name);
        for (int i : referrers) {
            const IndexedPackage& user = catalog.packages()[i];
            for (int r = 0; r < user.references.size(); ++r) {
                const PackageReference& reference = user.references[r];
                if (compareCaseless(reference.name, name) == 0) {
                    spellings << reference.name;
                    entry.routes << (reference.parent < 0 ? catalog.nameOf(i)
                                                          : catalog.nameOf(i) + QStringLiteral(" via ") + user.via(r));
                }
            }
        }
        entry.dependency = sortedUnique(spellings).value(0);
        entry.neededBy = namesOf(catalog, referrers);
        entry.routes = sortedUnique(entry.routes);
        result.append(entry);
    }
    std::sort(result.begin(), result.end(), [](const MissingDependency& a, const MissingDependency& b) {
        return nameLess(a.dependency, b.dependency);
    });
    return result;
}

QVector<PackageUser> usedBy(const LibraryCatalog& catalog, const QString& packageName)
{
    QString name = packageName;
    if (name.endsWith(QLatin1String(".var"), Qt::CaseInsensitive)) {
        name.chop(4);
    }
    QVector<int> users = catalog.referrers(name);
    const PackageName parsed = PackageName::parse(name);
    if (parsed.isExact()) {
        // References that admit any of several versions resolve to the newest present.
        const QVector<int> versions = catalog.versions(parsed.key());
        if (!versions.isEmpty() && catalog.packages()[versions.last()].version == parsed.version) {
            for (const QString& reference : catalog.openReferences(parsed.key())) {
                if (PackageName::parse(reference).admits(parsed.version)) {
                    users += catalog.referrers(reference);
                }
            }
        }
    }
    std::sort(users.begin(), users.end());
    users.erase(std::unique(users.begin(), users.end()), users.end());
    QVector<PackageUser> result;
    for (int i : users) {
        result.append({catalog.nameOf(i), catalog.packages()[i].path});
    }
    std::sort(result.begin(), result.end(), [](const PackageUser& a, const PackageUser& b) {
        return a.package != b.package ? nameLess(a.package, b.package) : a.path < b.path;
    });
    return result;
}

QVector<OldVersion> oldVersions(const LibraryCatalog& catalog)
{
    // A name is its "Creator.Package." and a version, and no such prefix is the start
    // of another: sorting those few thousand prefixes, then the versions of each, gives
    // the order of all names for a fraction of sorting them all.
    QStringList prefixes;
    for (const QString& key : catalog.packageKeys()) {
        prefixes << key + QLatin1Char('.');
    }
    std::sort(prefixes.begin(), prefixes.end(), nameLess);
    const auto byName = [&catalog](int a, int b) {
        const QString& x = catalog.nameOf(a);
        const QString& y = catalog.nameOf(b);
        return x != y ? nameLess(x, y) : catalog.packages()[a].path < catalog.packages()[b].path;
    };
    QVector<OldVersion> result;
    for (const QString& prefix : qAsConst(prefixes)) {
        QVector<int> versions = catalog.versions(prefix.left(prefix.size() - 1));
        const int newest = versions.last();
        // Lowest version first: the old ones lead.
        versions.erase(std::find_if(versions.begin(), versions.end(),
                                    [&catalog, newest](int i) {
                                        return catalog.packages()[i].version ==
                                               catalog.packages()[newest].version;
                                    }),
                       versions.end());
        std::sort(versions.begin(), versions.end(), byName);
        for (int i : qAsConst(versions)) {
            const QString& name = catalog.nameOf(i);
            result.append({name, catalog.packages()[i].path, catalog.nameOf(newest),
                           namesOf(catalog, catalog.referrers(name))});
        }
    }
    return result;
}

QVector<BrokenPackage> broken(const LibraryCatalog& catalog)
{
    QVector<BrokenPackage> result;
    // The catalog keeps its packages sorted by path already.
    for (const IndexedPackage& package : catalog.packages()) {
        if (!package.problem.isEmpty()) {
            result.append({package.path, package.problem});
        }
    }
    return result;
}

QVector<DuplicateFile> duplicates(const LibraryCatalog& catalog)
{
    // Keyed by the first spelling met, in path order.
    QHash<CaselessKey, QStringList> pathsByName;
    for (const IndexedPackage& package : catalog.packages()) {
        pathsByName[{package.fileName}] << package.path;
    }
    QVector<DuplicateFile> result;
    for (auto it = pathsByName.cbegin(); it != pathsByName.cend(); ++it) {
        if (it.value().size() > 1) {
            result.append({it.key().text, it.value()});
        }
    }
    std::sort(result.begin(), result.end(), [](const DuplicateFile& a, const DuplicateFile& b) {
        return nameLess(a.file, b.file);
    });
    return result;
}

} // namespace LibraryQueries
