#include "librarycatalog.h"

#include "packagename.h"

#include <QCoreApplication>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <future>

std::shared_ptr<const LibraryCatalog> LibraryCatalog::shared(QVector<IndexedPackage> packages,
                                                             LocalContent local)
{
    return std::shared_ptr<const LibraryCatalog>(
        new LibraryCatalog(std::move(packages), std::move(local)), [](const LibraryCatalog* catalog) {
            const QCoreApplication* application = QCoreApplication::instance();
            if (application != nullptr && QThread::currentThread() == application->thread()) {
                QtConcurrent::run([catalog] { delete catalog; });
            } else {
                delete catalog;
            }
        });
}

LibraryCatalog::LibraryCatalog(QVector<IndexedPackage> packages, LocalContent local)
    : all(std::move(packages)), locals(std::move(local))
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
    auto contentReferring = std::async(std::launch::async, [this, &sorted] {
        for (int i = 0; i < sorted.size(); ++i) {
            for (const ContentReference& reference : sorted[i].content) {
                contentByName.add(reference.name, i);
            }
        }
        for (int i = 0; i < locals.referrers.size(); ++i) {
            for (const QString& name : locals.referrers[i].references) {
                contentByName.add(name, sorted.size() + i);
            }
        }
        contentByName.group();
    });
    names.reserve(sorted.size());
    QVector<bool> usable(sorted.size());
    for (int i = 0; i < sorted.size(); ++i) {
        names.append(sorted[i].name());
        usable[i] = sorted[i].isUsable();
        if (usable[i]) {
            byName.add(names[i], i);
        }
    }
    for (const LocalReferrer& file : qAsConst(locals.referrers)) {
        names.append(file.path);
    }
    byName.group();
    present = PackagePresence(sorted, usable);
    referring.get();
    contentReferring.get();
    // Few of the distinct names are open ones.
    for (const QString& name : referencedNames(DependencySource::Both)) {
        const PackageName parsed = PackageName::parse(name);
        if (parsed.isValid() && !parsed.isExact()) {
            openByKey.add(parsed.key(), openNames.size());
            openNames << name;
        }
    }
    openByKey.group();
}

QString LibraryCatalog::pathOf(int index) const
{
    return index < all.size() ? all[index].path
                              : locals.gameFolder + QLatin1Char('/') + locals.referrers[index - all.size()].path;
}

int LibraryCatalog::indexOf(const QString& path) const
{
    IndexedPackage key;
    key.path = path;
    const auto it = std::lower_bound(all.cbegin(), all.cend(), key, IndexedPackage::pathLess);
    return it != all.cend() && it->path == path ? int(it - all.cbegin()) : -1;
}

QVector<int> LibraryCatalog::referrers(const QString& name, DependencySource source) const
{
    if (source == DependencySource::Declared) {
        return referrersByName.values(name);
    }
    if (source == DependencySource::Content) {
        return contentByName.values(name);
    }
    QVector<int> both = referrersByName.values(name) + contentByName.values(name);
    std::sort(both.begin(), both.end());
    both.erase(std::unique(both.begin(), both.end()), both.end());
    return both;
}

QStringList LibraryCatalog::referencedNames(DependencySource source) const
{
    if (source == DependencySource::Declared) {
        return referrersByName.names();
    }
    if (source == DependencySource::Content) {
        return contentByName.names();
    }
    QStringList names = referrersByName.names();
    for (const QString& name : contentByName.names()) {
        if (referrersByName.values(name).isEmpty()) {
            names << name;
        }
    }
    return names;
}

QStringList LibraryCatalog::openReferences(const QString& creatorPackage) const
{
    QStringList result;
    for (int i : openByKey.values(creatorPackage)) {
        result << openNames[i];
    }
    return result;
}
