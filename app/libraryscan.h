#ifndef LIBRARYSCAN_H
#define LIBRARYSCAN_H

#include "librarycatalog.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

/// One refresh or update of the library index, run on a thread of its own: finds the
/// package files, reads those the database does not know in their present state on
/// all cores, stores them and builds the new catalog. Writes nothing below the folder.
class LibraryScan
{
public:
    using Progress = std::function<void(int done, int total)>;

    /// A refresh of the whole `folder` (`base` unused), or, when `paths` is not empty
    /// and `base` is given, an update of those paths on top of `base`. Paths in
    /// `paths` are read anew even when the database knows them.
    LibraryScan(const QString& folder, const QString& databasePath, const QStringList& paths,
                std::shared_ptr<const LibraryCatalog> base);

    /// Runs the scan; returns the new catalog, or null when `stop` was set meanwhile.
    /// `progress` is called at most 20 times a second, on the calling thread.
    std::shared_ptr<const LibraryCatalog> run(const std::atomic<bool>& stop, const Progress& progress);

    /// The package files (suffix "var", hidden entries left out) below `folder`,
    /// each folder walked once even when links lead back to it.
    static QVector<IndexedPackage> findPackages(const QString& folder, const std::atomic<bool>& stop);

private:
    void readAll(QVector<IndexedPackage>& packages, const std::atomic<bool>& stop,
                 const Progress& progress) const;

    QString folder;
    QString databasePath;
    QStringList paths;
    std::shared_ptr<const LibraryCatalog> base;
};

#endif // LIBRARYSCAN_H
