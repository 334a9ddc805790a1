#include "packagepresence.h"

#include "packagename.h"

#include <algorithm>
#include <numeric>

PackagePresence::PackagePresence(const QVector<IndexedPackage>& packages, const QVector<bool>& usable)
{
    versionOf.reserve(packages.size());
    for (const IndexedPackage& package : packages) {
        versionOf.append(package.version);
    }
    // Added lowest version first, the versions of each package stay in that order.
    QVector<int> byVersion(packages.size());
    std::iota(byVersion.begin(), byVersion.end(), 0);
    std::stable_sort(byVersion.begin(), byVersion.end(),
                     [&packages](int a, int b) { return packages[a].version < packages[b].version; });
    for (int i : qAsConst(byVersion)) {
        if (usable[i]) {
            byKey.add(packages[i].creator + QLatin1Char('.') + packages[i].package, i);
        }
    }
    byKey.group();
}

Presence PackagePresence::find(const QString& reference) const
{
    Presence result;
    const PackageName wanted = PackageName::parse(reference);
    if (!wanted.isValid()) {
        return result;
    }
    const QVector<int> present = versions(wanted.key());
    // The newest admitted version is the one loaded: walk down from the newest.
    int chosen = -1;
    for (auto it = present.crbegin(); it != present.crend(); ++it) {
        const int version = versionOf[*it];
        if (chosen >= 0 && version != chosen) {
            break;
        }
        if (chosen < 0 && !wanted.admits(version)) {
            continue;
        }
        chosen = version;
        result.packages.prepend(*it);
    }
    if (chosen >= 0) {
        result.state = Presence::Present;
        return result;
    }
    result.state = present.isEmpty() ? Presence::Missing : Presence::OtherVersion;
    result.packages = present;
    return result;
}
