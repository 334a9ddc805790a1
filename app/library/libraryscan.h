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

    /// A refresh of the whole `folder` when `whole`, else an update of `paths` on top
    /// of `base`. A refresh takes the packages that a listing found from `listed` when
    /// given, else walks the folder; it takes what it knows of unchanged files from
    /// `base` when given (the last catalog of the same folder), else from the
    /// database. Paths in `paths` are read anew even when they are known.
    LibraryScan(const QString& folder, const QString& databasePath, const QStringList& paths,
                std::shared_ptr<const LibraryCatalog> base, bool whole,
                std::shared_ptr<const LibraryCatalog> listed = nullptr);

    /// Runs the scan; returns the new catalog, or null when `stop` was set meanwhile.
    /// `progress` is called at most 20 times a second, on the calling thread.
    std::shared_ptr<const LibraryCatalog> run(const std::atomic<bool>& stop, const Progress& progress);

    /// The package files below `folder` as the folder walk finds them, sorted by path.
    static QVector<IndexedPackage> findPackages(const QString& folder, const std::atomic<bool>& stop);
    /// A catalog of the packages `found` by a walk, each with what `known` holds of it
    /// when the file is unchanged; the others wait to be read.
    static std::shared_ptr<const LibraryCatalog> described(QVector<IndexedPackage> found,
                                                           const LibraryCatalog* known);

private:
    void readAll(QVector<IndexedPackage>& packages, const std::atomic<bool>& stop,
                 const Progress& progress) const;

    QString folder;
    QString databasePath;
    QStringList paths;
    std::shared_ptr<const LibraryCatalog> base;
    bool whole;
    std::shared_ptr<const LibraryCatalog> listed;
};

#endif // LIBRARYSCAN_H
