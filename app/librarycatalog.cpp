#include "librarycatalog.h"

#include <algorithm>

namespace {

QStringList textsOf(const QHash<CaselessKey, QVector<int>>& table)
{
    QStringList texts;
    texts.reserve(table.size());
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        texts << it.key().text;
    }
    return texts;
}

} // namespace

LibraryCatalog::LibraryCatalog(QVector<IndexedPackage> packages) : all(std::move(packages))
{
    std::sort(all.begin(), all.end(),
              [](const IndexedPackage& a, const IndexedPackage& b) { return a.path < b.path; });
    names.reserve(all.size());
    byName.reserve(all.size());
    versionsByKey.reserve(all.size());
    referrersByName.reserve(all.size() * 2);
    for (int i = 0; i < all.size(); ++i) {
        const IndexedPackage& package = all[i];
        names.append(package.name());
        if (package.isUsable()) {
            byName[{names[i]}].append(i);
            versionsByKey[{package.creator + QLatin1Char('.') + package.package}].append(i);
        }
        for (const PackageReference& reference : package.references) {
            QVector<int>& users = referrersByName[{reference.name}];
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

QStringList LibraryCatalog::referencedNames() const
{
    return textsOf(referrersByName);
}

QStringList LibraryCatalog::packageKeys() const
{
    return textsOf(versionsByKey);
}
