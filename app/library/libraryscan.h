#ifndef LIBRARYSCAN_H
#define LIBRARYSCAN_H

#include "librarycatalog.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class IndexDatabase;

/// One refresh or update of the library index, run on a thread of its own: finds the
/// package files, reads the descriptions of those the database does not know in their
/// present state on all cores, stores them and builds the new catalog. When asked, it
/// then reads what the content of the packages and of the collector's own files uses,
/// likewise only for files new or changed. Writes nothing below the folders it reads.
class LibraryScan
{
public:
    /// `content` tells which pass runs: the content pass, or the descriptions'.
    using Progress = std::function<void(int done, int total, bool content)>;
    /// Takes the catalog with the descriptions read, before the content pass begins.
    using Publish = std::function<void(std::shared_ptr<const LibraryCatalog>)>;

    /// What a scan reads beside the descriptions.
    struct Content
    {
        bool read = false;  ///< the content references of the packages
        QString gameFolder; ///< and of the collector's own files below it; empty for none
    };

    /// A refresh of the whole `folder` when `whole`, else an update of `paths` on top
    /// of `base`. A refresh takes the packages that a listing found from `listed` when
    /// given, else walks the folder; it takes what it knows of unchanged files from
    /// `base` when given (the last catalog of the same folder), else from the
    /// database. Paths in `paths` are read anew even when they are known.
    LibraryScan(const QString& folder, const QString& databasePath, const QStringList& paths,
                std::shared_ptr<const LibraryCatalog> base, bool whole,
                std::shared_ptr<const LibraryCatalog> listed, Content content);

    /// Runs the scan; returns the new catalog, or null when `stop` was set meanwhile.
    /// `progress` is called at most 20 times a second and `publish` once before a
    /// content pass that has anything to read, both on the calling thread.
    std::shared_ptr<const LibraryCatalog> run(const std::atomic<bool>& stop, const Progress& progress,
                                              const Publish& publish = Publish());

    /// The package files below `folder` as the folder walk finds them, sorted by path.
    static QVector<IndexedPackage> findPackages(const QString& folder, const std::atomic<bool>& stop);
    /// A catalog of the packages `found` by a walk, each with what `known` holds of it
    /// when the file is unchanged (and the local files `known` holds); the others wait
    /// to be read.
    static std::shared_ptr<const LibraryCatalog> described(QVector<IndexedPackage> found,
                                                           const LibraryCatalog* known);

private:
    // The local files as the catalog will hold them; those to read and those gone.
    LocalContent knownLocal(IndexDatabase& database, QVector<LocalReferrer>& toRead, QStringList& gone,
                            const std::atomic<bool>& stop) const;
    // Reads the content of the packages that await it and of the local files `toRead`,
    // stores it, and adds the files read to `local`; false when stopped.
    bool readContent(IndexDatabase& database, QVector<IndexedPackage>& packages, LocalContent& local,
                     QVector<LocalReferrer>& toRead, const QStringList& gone, const std::atomic<bool>& stop,
                     const Progress& progress) const;

    QString folder;
    QString databasePath;
    QStringList paths;
    std::shared_ptr<const LibraryCatalog> base;
    bool whole;
    std::shared_ptr<const LibraryCatalog> listed;
    Content content;
};

#endif // LIBRARYSCAN_H
