#include "removalcheck.h"

#include <QSet>

#include <algorithm>

namespace {

constexpr int namesShown = 10;

// One key per dependency and package in need of it.
QString needKey(const MissingDependency& entry, const QString& user)
{
    return entry.dependency.toLower() + QLatin1Char('\n') + user;
}

QSet<QString> needs(const QVector<MissingDependency>& missing)
{
    QSet<QString> keys;
    for (const MissingDependency& entry : missing) {
        for (const QString& user : entry.neededBy) {
            keys.insert(needKey(entry, user));
        }
    }
    return keys;
}

} // namespace

QStringList RemovalCheck::dependentsLosing(const LibraryCatalog& catalog,
                                           const QSet<QString>& paths,
                                           const QVector<MissingDependency>& missingNow)
{
    QVector<IndexedPackage> staying;
    staying.reserve(catalog.packages().size());
    for (const IndexedPackage& package : catalog.packages()) {
        if (!paths.contains(package.path)) {
            staying << package;
        }
    }
    if (staying.size() == catalog.packages().size()) {
        return {};
    }
    // What the library would lack afterwards and does not lack now.
    const QSet<QString> before = needs(missingNow);
    QSet<QString> losing;
    for (const MissingDependency& entry :
         LibraryQueries::missing(LibraryCatalog(staying, catalog.local()), DependencySource::Both)) {
        for (const QString& user : entry.neededBy) {
            if (!before.contains(needKey(entry, user))) {
                losing.insert(user);
            }
        }
    }
    QStringList sorted = losing.values();
    sorted.sort(Qt::CaseInsensitive);
    return sorted;
}

QString RemovalCheck::summary(int packages, int hidden, const QStringList& dependents,
                              bool indexReady)
{
    QString text =
        packages == 1 ? QStringLiteral("1 package") : QStringLiteral("%1 packages").arg(packages);
    if (hidden > 0) {
        text += QStringLiteral(", %1 of them hidden by the filter").arg(hidden);
    }
    text += QLatin1Char('.');
    if (!indexReady) {
        return text + QStringLiteral("\nNot checked for packages that use them: the library "
                                     "index is not ready yet.");
    }
    if (dependents.isEmpty()) {
        return text;
    }
    // Local files are named by their path; no package name holds a "/".
    const bool files = std::any_of(dependents.cbegin(), dependents.cend(),
                                   [](const QString& name) { return name.contains(QLatin1Char('/')); });
    text += files ? QStringLiteral("\n\nThese packages and files would lose a dependency they use:\n")
                  : QStringLiteral("\n\nThese packages would lose a dependency they use:\n");
    text += dependents.mid(0, namesShown).join(QLatin1Char('\n'));
    if (dependents.size() > namesShown) {
        text += QStringLiteral("\nand %1 more").arg(dependents.size() - namesShown);
    }
    return text;
}
