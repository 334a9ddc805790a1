#include "librarycatalog.h"

#include "caselesskey.h"
#include "packagename.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <future>
#include <numeric>
#include <thread>

std::shared_ptr<const LibraryCatalog> LibraryCatalog::shared(QVector<IndexedPackage> packages,
                                                             LocalContent local)
{
    return std::shared_ptr<const LibraryCatalog>(
        new LibraryCatalog(std::move(packages), std::move(local)), [](const LibraryCatalog* catalog) {
            // Small ones go at once; a thread of its own (not a pooled one) also lets
            // the thread sanitizer see the hand-over.
            const QCoreApplication* application = QCoreApplication::instance();
            if (application != nullptr && QThread::currentThread() == application->thread() &&
                catalog->packages().size() >= 2000) {
                std::thread([catalog] { delete catalog; }).detach();
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
                declared.referrers.add(reference.name, i);
            }
        }
        declared.group();
    });
    names.reserve(sorted.size() + locals.referrers.size());
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
}

void LibraryCatalog::References::group()
{
    referrers.group();
    // Few of the distinct names are open ones.
    for (const QString& name : referrers.names()) {
        const PackageName parsed = PackageName::parse(name);
        if (parsed.isValid() && !parsed.isExact()) {
            openByKey.add(parsed.key(), openNames.size());
            openNames << name;
        }
    }
    openByKey.group();
}

QStringList LibraryCatalog::References::open(const QString& creatorPackage) const
{
    QStringList result;
    for (int i : openByKey.values(creatorPackage)) {
        result << openNames[i];
    }
    return result;
}

const LibraryCatalog::References& LibraryCatalog::content() const
{
    std::call_once(usedGrouped, [this] {
        for (int i = 0; i < all.size(); ++i) {
            for (const ContentReference& reference : all[i].content) {
                used.referrers.add(reference.name, i);
            }
        }
        for (int i = 0; i < locals.referrers.size(); ++i) {
            for (const QString& name : locals.referrers[i].references) {
                used.referrers.add(name, all.size() + i);
            }
        }
        used.group();
    });
    return used;
}

const QVector<int>& LibraryCatalog::namePlaces() const
{
    std::call_once(placesMade, [this] {
        QVector<int> order(names.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [this](int a, int b) { return caselessLess(names[a], names[b]); });
        places.resize(names.size());
        int place = -1;
        for (int k = 0; k < order.size(); ++k) {
            place += k == 0 || names[order[k]] != names[order[k - 1]] ? 1 : 0;
            places[order[k]] = place;
        }
    });
    return places;
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
        return declared.referrers.values(name);
    }
    if (source == DependencySource::Content) {
        return content().referrers.values(name);
    }
    // Each source holds its referrers in order, each once.
    const QVector<int> fromDeclared = declared.referrers.values(name);
    const QVector<int> fromContent = content().referrers.values(name);
    QVector<int> both(fromDeclared.size() + fromContent.size());
    both.erase(std::set_union(fromDeclared.cbegin(), fromDeclared.cend(), fromContent.cbegin(),
                              fromContent.cend(), both.begin()),
               both.end());
    return both;
}

QStringList LibraryCatalog::referencedNames(DependencySource source) const
{
    if (source == DependencySource::Declared) {
        return declared.referrers.names();
    }
    if (source == DependencySource::Content) {
        return content().referrers.names();
    }
    QStringList names = declared.referrers.names();
    for (const QString& name : content().referrers.names()) {
        if (declared.referrers.values(name).isEmpty()) {
            names << name;
        }
    }
    return names;
}

QStringList LibraryCatalog::openReferences(const QString& creatorPackage, DependencySource source) const
{
    if (source == DependencySource::Declared) {
        return declared.open(creatorPackage);
    }
    if (source == DependencySource::Content) {
        return content().open(creatorPackage);
    }
    return declared.open(creatorPackage) + content().open(creatorPackage);
}
