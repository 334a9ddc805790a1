#include "librarycatalog.h"

#include <algorithm>
#include <future>
#include <numeric>

LibraryCatalog::LibraryCatalog(QVector<IndexedPackage> packages) : all(std::move(packages))
{
    // A refresh hands them over in order unless files were read anew.
    if (!std::is_sorted(all.cbegin(), all.cend(), IndexedPackage::pathLess)) {
        std::sort(all.begin(), all.end(), IndexedPackage::pathLess);
    }
    const QVector<IndexedPackage>& sorted = all;
    // The references are most of the work: they are grouped on a thread of their own.
    auto referring = std::async(std::launch::async, [this, &sorted] {
        for (int i = 0; i < sorted.size(); ++i) {
            for (const PackageReference& reference : sorted[i].references) {
                referrersByName.add(reference.name, i);
            }
        }
        referrersByName.group();
    });
    names.reserve(sorted.size());
    for (int i = 0; i < sorted.size(); ++i) {
        names.append(sorted[i].name());
        if (sorted[i].isUsable()) {
            byName.add(names[i], i);
        }
    }
    // Added lowest version first, the versions of each package stay in that order.
    QVector<int> byVersion(sorted.size());
    std::iota(byVersion.begin(), byVersion.end(), 0);
    std::stable_sort(byVersion.begin(), byVersion.end(),
                     [&sorted](int a, int b) { return sorted[a].version < sorted[b].version; });
    for (int i : qAsConst(byVersion)) {
        if (sorted[i].isUsable()) {
            versionsByKey.add(sorted[i].creator + QLatin1Char('.') + sorted[i].package, i);
        }
    }
    byName.group();
    versionsByKey.group();
    referring.get();
}
