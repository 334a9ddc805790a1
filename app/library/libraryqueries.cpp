#include "libraryqueries.h"

#include "caselesskey.h"
#include "packagename.h"

#include <QHash>

#include <algorithm>

namespace LibraryQueries {

namespace {

// The names in the reports' order, each once.
QStringList sortedUnique(QStringList names)
{
    std::sort(names.begin(), names.end(), caselessLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// The names of the referrers, sorted, each once. Sorting by the catalog's places of
// names costs a fraction of comparing the names themselves.
QStringList namesOf(const LibraryCatalog& catalog, QVector<int> indexes)
{
    const QVector<int>& place = catalog.namePlaces();
    std::sort(indexes.begin(), indexes.end(), [&place](int a, int b) { return place[a] < place[b]; });
    QStringList names;
    names.reserve(indexes.size());
    int last = -1;
    for (int i : qAsConst(indexes)) {
        if (place[i] != last) {
            names << catalog.nameOf(i);
            last = place[i];
        }
    }
    return names;
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

// Whether a declaration of `declared` stands for a use of `used`: the same package,
// declared in a version that the use takes or in every version the use may take.
bool covers(const PackageName& declared, const PackageName& used)
{
    if (!declared.isValid() || !used.isValid() || compareCaseless(declared.key(), used.key()) != 0) {
        return false;
    }
    if (declared.latest) {
        return true;
    }
    if (used.latest) {
        return false;
    }
    if (declared.minimum) {
        return used.version >= declared.version;
    }
    return !used.minimum && used.version == declared.version;
}

QVector<PackageName> parsedNames(const QVector<PackageReference>& references)
{
    QVector<PackageName> names;
    for (const PackageReference& reference : references) {
        names << PackageName::parse(reference.name);
    }
    return names;
}

bool mismatchLess(const ContentMismatch& a, const ContentMismatch& b)
{
    return a.package != b.package ? caselessLess(a.package, b.package) : a.path < b.path;
}

// Whether package `package`'s content use `used` is declared, or is the package itself.
bool isDeclared(const IndexedPackage& package, const QVector<PackageName>& declarations, const PackageName& used)
{
    const PackageName self = PackageName::parse(package.name());
    if (self.isExact() && compareCaseless(self.key(), used.key()) == 0 && used.admits(self.version)) {
        return true;
    }
    return std::any_of(declarations.cbegin(), declarations.cend(),
                       [&used](const PackageName& declared) { return covers(declared, used); });
}

} // namespace

QVector<MissingDependency> missing(const LibraryCatalog& catalog, DependencySource source)
{
    const bool declared = source != DependencySource::Content;
    const bool content = source != DependencySource::Declared;
    const int packageCount = catalog.packages().size();
    QVector<MissingDependency> result;
    for (const QString& name : catalog.referencedNames(source)) {
        MissingDependency entry;
        if (satisfied(catalog, name, entry)) {
            continue;
        }
        QStringList spellings;
        const QVector<int> referrers = catalog.referrers(name, source);
        for (int i : referrers) {
            if (i >= packageCount) {
                // A local file's content: its own path is the route.
                for (const QString& reference : catalog.local().referrers[i - packageCount].references) {
                    if (compareCaseless(reference, name) == 0) {
                        spellings << reference;
                    }
                }
                entry.routes << catalog.nameOf(i);
                continue;
            }
            const IndexedPackage& user = catalog.packages()[i];
            for (int r = 0; declared && r < user.references.size(); ++r) {
                const PackageReference& reference = user.references[r];
                if (compareCaseless(reference.name, name) == 0) {
                    spellings << reference.name;
                    entry.routes << (reference.parent < 0 ? catalog.nameOf(i)
                                                          : catalog.nameOf(i) + QStringLiteral(" via ") + user.via(r));
                }
            }
            for (int r = 0; content && r < user.content.size(); ++r) {
                if (compareCaseless(user.content[r].name, name) == 0) {
                    spellings << user.content[r].name;
                    entry.routes << catalog.nameOf(i) + QStringLiteral(" in ") + user.content[r].member;
                }
            }
        }
        entry.dependency = sortedUnique(spellings).value(0);
        entry.neededBy = namesOf(catalog, referrers);
        entry.routes = sortedUnique(entry.routes);
        result.append(entry);
    }
    std::sort(result.begin(), result.end(), [](const MissingDependency& a, const MissingDependency& b) {
        return caselessLess(a.dependency, b.dependency);
    });
    return result;
}

QVector<PackageUser> usedBy(const LibraryCatalog& catalog, const QString& packageName, DependencySource source)
{
    QString name = packageName;
    if (name.endsWith(QLatin1String(".var"), Qt::CaseInsensitive)) {
        name.chop(4);
    }
    QVector<int> users = catalog.referrers(name, source);
    const PackageName parsed = PackageName::parse(name);
    if (parsed.isExact()) {
        // References that admit any of several versions resolve to the newest present.
        const QVector<int> versions = catalog.versions(parsed.key());
        if (!versions.isEmpty() && catalog.packages()[versions.last()].version == parsed.version) {
            for (const QString& reference : catalog.openReferences(parsed.key(), source)) {
                if (PackageName::parse(reference).admits(parsed.version)) {
                    users += catalog.referrers(reference, source);
                }
            }
        }
    }
    std::sort(users.begin(), users.end());
    users.erase(std::unique(users.begin(), users.end()), users.end());
    QVector<PackageUser> result;
    for (int i : users) {
        result.append({catalog.nameOf(i), catalog.pathOf(i)});
    }
    std::sort(result.begin(), result.end(), [](const PackageUser& a, const PackageUser& b) {
        return a.package != b.package ? caselessLess(a.package, b.package) : a.path < b.path;
    });
    return result;
}

QVector<OldVersion> oldVersions(const LibraryCatalog& catalog, DependencySource source)
{
    // A name is its "Creator.Package." and a version, and no such prefix is the start
    // of another: sorting those few thousand prefixes, then the versions of each, gives
    // the order of all names for a fraction of sorting them all.
    QStringList prefixes;
    for (const QString& key : catalog.packageKeys()) {
        prefixes << key + QLatin1Char('.');
    }
    std::sort(prefixes.begin(), prefixes.end(), caselessLess);
    const auto byName = [&catalog](int a, int b) {
        const QString& x = catalog.nameOf(a);
        const QString& y = catalog.nameOf(b);
        return x != y ? caselessLess(x, y) : catalog.packages()[a].path < catalog.packages()[b].path;
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
                           namesOf(catalog, catalog.referrers(name, source))});
        }
    }
    return result;
}

QVector<ContentMismatch> undeclared(const LibraryCatalog& catalog)
{
    QVector<ContentMismatch> result;
    for (int i = 0; i < catalog.packages().size(); ++i) {
        const IndexedPackage& package = catalog.packages()[i];
        if (package.content.isEmpty()) {
            continue;
        }
        const QVector<PackageName> declarations = parsedNames(package.references);
        QStringList names;
        for (const ContentReference& reference : package.content) {
            if (!isDeclared(package, declarations, PackageName::parse(reference.name))) {
                names << reference.name;
            }
        }
        if (!names.isEmpty()) {
            result.append({catalog.nameOf(i), package.path, sortedUnique(names)});
        }
    }
    std::sort(result.begin(), result.end(), mismatchLess);
    return result;
}

QVector<ContentMismatch> unused(const LibraryCatalog& catalog)
{
    QVector<ContentMismatch> result;
    for (int i = 0; i < catalog.packages().size(); ++i) {
        const IndexedPackage& package = catalog.packages()[i];
        if (!package.contentComplete) {
            continue;
        }
        QVector<PackageName> uses;
        for (const ContentReference& reference : package.content) {
            uses << PackageName::parse(reference.name);
        }
        QStringList names;
        for (const PackageReference& reference : package.references) {
            const PackageName declared = PackageName::parse(reference.name);
            // A use of "latest" is met by a declaration of one version, and the other way round.
            const bool used = std::any_of(uses.cbegin(), uses.cend(), [&declared](const PackageName& use) {
                return covers(declared, use) || covers(use, declared);
            });
            if (reference.parent < 0 && !used) {
                names << reference.name;
            }
        }
        if (!names.isEmpty()) {
            result.append({catalog.nameOf(i), package.path, sortedUnique(names)});
        }
    }
    std::sort(result.begin(), result.end(), mismatchLess);
    return result;
}

QVector<ContentUse> contentUses(const LibraryCatalog& catalog, int index)
{
    const IndexedPackage& package = catalog.packages()[index];
    const QVector<PackageName> declarations = parsedNames(package.references);
    QVector<ContentUse> result;
    for (const ContentReference& reference : package.content) {
        result.append({reference.name, reference.member, catalog.presence(reference.name).state,
                       isDeclared(package, declarations, PackageName::parse(reference.name))});
    }
    return result;
}

QVector<BrokenPackage> broken(const LibraryCatalog& catalog)
{
    QVector<BrokenPackage> result;
    // The catalog keeps its packages sorted by path already.
    for (const IndexedPackage& package : catalog.packages()) {
        if (!package.problem.isEmpty()) {
            result.append({package.path, package.problem, package.unreadable});
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
        return caselessLess(a.file, b.file);
    });
    return result;
}

} // namespace LibraryQueries
