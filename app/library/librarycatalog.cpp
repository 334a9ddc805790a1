#include "librarycatalog.h"

#include "packagename.h"

#include <QCoreApplication>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <future>

std::shared_ptr<const LibraryCatalog> LibraryCatalog::shared(QVector<IndexedPackage> packages)
{
    return std::shared_ptr<const LibraryCatalog>(
        new LibraryCatalog(std::move(packages)), [](const LibraryCatalog* catalog) {
            const QCoreApplication* application = QCoreApplication::instance();
            if (application != nullptr && QThread::currentThread() == application->thread()) {
                QtConcurrent::run([catalog] { delete catalog; });
            } else {
                delete catalog;
            }
        });
}

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
        // Few of the distinct names are open ones.
        for (const QString& name : referrersByName.names()) {
            const PackageName parsed = PackageName::parse(name);
            if (parsed.isValid() && !parsed.isExact()) {
                openByKey.add(parsed.key(), openNames.size());
                openNames << name;
            }
        }
        openByKey.group();
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
    byName.group();
    present = PackagePresence(sorted, usable);
    referring.get();
}

QStringList LibraryCatalog::openReferences(const QString& creatorPackage) const
{
    QStringList result;
    for (int i : openByKey.values(creatorPackage)) {
        result << openNames[i];
    }
    return result;
}
