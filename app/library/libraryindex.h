// Part "library" (the library engine): the walk of a package folder, the index and its
// database, the catalog and its presence rule, queries, reports, content references and
// the command line. Uses Qt Core, Concurrent and Sql and Dovetalk only, never Gui or
// Widgets, so that the command line and later tools run it headless.
#ifndef LIBRARYINDEX_H
#define LIBRARYINDEX_H

#include "librarycatalog.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <future>
#include <memory>

/// Keeps the library index of one listed folder: owns the database and the
/// background reading, and publishes immutable catalogs. Lives on the GUI thread.
class LibraryIndex : public QObject
{
    Q_OBJECT
public:
    /// The database is QStandardPaths::CacheLocation + "/library.sqlite" unless one is given.
    explicit LibraryIndex(QObject* parent = nullptr, const QString& databasePath = QString());
    /// Stops a running refresh and waits for it 200 ms at most; one still running then
    /// ends on its own, and the application waits for it as it ends.
    ~LibraryIndex() override;

    /// Returns at once. Reads, in the background on all cores, the packages below
    /// `folder` that are new or changed since the database last saw them, forgets
    /// those that are gone, then publishes a new catalog of that folder and emits
    /// ready(). `listed`, when given, is what a listing of the folder has just found:
    /// it is the catalog from now on, and the refresh reads what it lacks instead of
    /// walking the folder again. A running refresh or update is stopped first. Never
    /// writes anything below `folder`.
    void refresh(const QString& folder, std::shared_ptr<const LibraryCatalog> listed = nullptr);
    /// After a move or delete: at once, those of `paths` that no longer exist below
    /// the current folder are gone from the catalog and those that do are in it (the
    /// catalog is made on another thread, and catalog() waits for it); emits ready()
    /// once it is made. Then reads the new ones in the background and publishes them.
    /// A refresh that runs meanwhile is not stopped; what it publishes keeps these
    /// changes.
    void update(const QStringList& paths);
    /// Whether refreshes and updates from now on also read, after the descriptions and
    /// published after them, what the content of the packages uses, and the
    /// collector's own files below the game folder: `gameFolder`, or when it is empty
    /// the parent of a folder named "AddonPackages" (any case); none when `local` is
    /// false. Off until set.
    void setContentReading(bool read, bool local = true, const QString& gameFolder = QString());
    /// The priority of the threads of refreshes and updates started from now on:
    /// IdlePriority unless set, so that the user's own work comes first and the index
    /// takes what the cores leave.
    void setPriority(QThread::Priority priority) { threadPriority = priority; }
    /// Ends a running refresh or update within 100 ms (no ready() for it).
    void stop();
    bool isRunning() const { return jobStop != nullptr; }
    /// True once a refresh of the current folder has read the descriptions (stays true
    /// during its content pass and a later update or refresh of the same folder).
    bool isReady() const { return readyFlag; }
    /// The folder as the index keeps it: absolute, cleaned, without a trailing "/".
    QString folder() const { return current; }
    /// The packages of the folder as they are now, as far as they have been read; never
    /// null (empty before the first listing or refresh of the folder).
    std::shared_ptr<const LibraryCatalog> catalog() const;
    QString databasePath() const { return database; }

    /// `folder` absolute and cleaned, as folder() gives it.
    static QString normalFolder(const QString& folder);
    /// The game folder of a package folder: the parent of one named "AddonPackages"
    /// (any case); else empty.
    static QString gameFolderOf(const QString& folder);

signals:
    /// At most about 20 a second; `content` tells that the content pass runs, else the
    /// descriptions are read.
    void progress(int done, int total, bool content);
    void ready(); ///< catalog() has changed

private:
    void start(const QStringList& paths, bool whole, std::shared_ptr<const LibraryCatalog> base,
               std::shared_ptr<const LibraryCatalog> listed = nullptr);
    void finish(quint64 serial, std::shared_ptr<const LibraryCatalog> result);
    /// Takes a job's result as the catalog, with the moves and deletes made meanwhile.
    void adopt(std::shared_ptr<const LibraryCatalog> result);
    /// Makes the catalog `from` with `paths` as they are now on another thread; until
    /// it is there, catalog() waits for it.
    void rebuild(std::shared_ptr<const LibraryCatalog> from, const QStringList& paths);
    void settle(quint64 serial);
    // The job's catalog with the descriptions read, before its content pass.
    void publish(quint64 serial, std::shared_ptr<const LibraryCatalog> declared);
    /// `catalog` with the files at `paths` as they are on disk now: gone, or there
    /// below `folder` (described as before when unchanged, else waiting to be read).
    static std::shared_ptr<const LibraryCatalog> changed(const LibraryCatalog& catalog,
                                                         const QStringList& paths, const QString& folder);

    QString database;
    QString current;
    QThread::Priority threadPriority = QThread::IdlePriority;
    bool contentReading = false;
    bool localContent = true;
    QString gameFolder; // as given; empty: found from the folder
    bool readyFlag = false;
    std::shared_ptr<const LibraryCatalog> snapshot;
    // The running job's stop flag (null when none runs), shared with its thread.
    std::shared_ptr<std::atomic<bool>> jobStop;
    quint64 jobSerial = 0;
    // The catalog that the last move or delete is making, until it is there.
    std::shared_future<std::shared_ptr<const LibraryCatalog>> pending;
    quint64 rebuildSerial = 0;
    // Paths that moves and deletes touched and no job has read since.
    QStringList touched;
};

#endif // LIBRARYINDEX_H
