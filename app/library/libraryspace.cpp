#include "libraryspace.h"

#include "caselesskey.h"

#include <QHash>

#include <algorithm>

namespace {

// The catalog keeps its packages sorted by path: a size is found without a table.
qint64 sizeOf(const LibraryCatalog& catalog, const QString& path)
{
    const QVector<IndexedPackage>& packages = catalog.packages();
    const auto found = std::lower_bound(packages.cbegin(), packages.cend(), path,
                                        [](const IndexedPackage& package, const QString& wanted) {
                                            return package.path < wanted;
                                        });
    return found != packages.cend() && found->path == path ? found->size : 0;
}

void add(ReclaimableFiles& files, const LibraryCatalog& catalog, const QString& path)
{
    files.paths << path;
    files.bytes += sizeOf(catalog, path);
}

} // namespace

LibrarySpace LibrarySpace::of(const LibraryCatalog& catalog)
{
    return of(catalog, LibraryQueries::oldVersions(catalog, DependencySource::Both), LibraryQueries::duplicates(catalog),
              LibraryQueries::broken(catalog));
}

LibrarySpace LibrarySpace::of(const LibraryCatalog& catalog, const QVector<OldVersion>& oldVersions,
                              const QVector<DuplicateFile>& duplicates,
                              const QVector<BrokenPackage>& broken)
{
    LibrarySpace space;
    // Keyed by the first spelling met, in path order.
    QHash<CaselessKey, int> byCreator;
    for (const IndexedPackage& package : catalog.packages()) {
        const auto found = byCreator.constFind({package.creator});
        const int at = found != byCreator.cend() ? found.value() : space.creators.size();
        if (at == space.creators.size()) {
            byCreator.insert({package.creator}, at);
            space.creators.append({package.creator, 0, 0});
        }
        ++space.creators[at].packages;
        space.creators[at].bytes += package.size;
        space.bytes += package.size;
    }
    space.packages = catalog.packages().size();
    std::sort(space.creators.begin(), space.creators.end(),
              [](const CreatorSpace& a, const CreatorSpace& b) {
                  if (a.bytes != b.bytes) {
                      return a.bytes > b.bytes;
                  }
                  return caselessLess(a.creator, b.creator);
              });

    for (const OldVersion& entry : oldVersions) {
        if (isReclaimable(entry)) {
            add(space.oldUnreferenced, catalog, entry.path);
        }
    }
    for (const DuplicateFile& entry : duplicates) {
        for (int i = 1; i < entry.paths.size(); ++i) {
            add(space.duplicates, catalog, entry.paths.at(i));
        }
    }
    // A file that could not be read is no known loss.
    for (const BrokenPackage& entry : broken) {
        if (!entry.unreadable) {
            add(space.broken, catalog, entry.path);
        }
    }
    for (ReclaimableFiles* files : {&space.oldUnreferenced, &space.duplicates, &space.broken}) {
        files->paths.sort();
    }
    return space;
}
