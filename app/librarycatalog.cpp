#include "librarycatalog.h"

#include <algorithm>
#include <numeric>

LibraryCatalog::LibraryCatalog(QVector<IndexedPackage> packages) : all(std::move(packages))
{
    std::sort(all.begin(), all.end(),
              [](const IndexedPackage& a, const IndexedPackage& b) { return a.path < b.path; });
    names.reserve(all.size());
    for (int i = 0; i < all.size(); ++i) {
        const IndexedPackage& package = all[i];
        names.append(package.name());
        if (package.isUsable()) {
            byName.add(names[i], i);
        }
        for (const PackageReference& reference : package.references) {
            referrersByName.add(reference.name, i);
        }
    }
    // Added lowest version first, the versions of each package stay in that order.
    QVector<int> byVersion(all.size());
    std::iota(byVersion.begin(), byVersion.end(), 0);
    std::stable_sort(byVersion.begin(), byVersion.end(),
                     [this](int a, int b) { return all[a].version < all[b].version; });
    for (int i : byVersion) {
        if (all[i].isUsable()) {
            versionsByKey.add(all[i].creator + QLatin1Char('.') + all[i].package, i);
        }
    }
    byName.group();
    referrersByName.group();
    versionsByKey.group();
}
