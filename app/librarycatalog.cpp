#include "librarycatalog.h"

#include "packagename.h"

#include <algorithm>

LibraryCatalog::LibraryCatalog(QVector<IndexedPackage> packages) : all(std::move(packages))
{
    std::sort(all.begin(), all.end(),
              [](const IndexedPackage& a, const IndexedPackage& b) { return a.path < b.path; });
    for (int i = 0; i < all.size(); ++i) {
        const IndexedPackage& package = all[i];
        if (package.isUsable()) {
            byName[package.name().toLower()].append(i);
            versionsByKey[PackageName::keyOf(package.creator, package.package)].append(i);
        }
        for (const PackageReference& reference : package.references) {
            QVector<int>& users = referrersByName[reference.name.toLower()];
            // References of one package arrive together, so a repeat is the last entry.
            if (users.isEmpty() || users.last() != i) {
                users.append(i);
            }
        }
    }
    for (QVector<int>& versions : versionsByKey) {
        std::stable_sort(versions.begin(), versions.end(),
                         [this](int a, int b) { return all[a].version < all[b].version; });
    }
}
