#ifndef LIBRARYINDEX_H
#define LIBRARYINDEX_H

#include "librarycatalog.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
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
    /// ready(). A running refresh or update is stopped first. Never writes anything
    /// below `folder`.
    void refresh(const QString& folder);
    /// Returns at once. After a move or delete: re-reads those of `paths` that still
    /// exist below the current folder, forgets the others, publishes a new catalog,
    /// emits ready().
    void update(const QStringList& paths);
    /// Ends a running refresh or update within 100 ms (no ready() for it).
    void stop();
    bool isRunning() const { return jobStop != nullptr; }
    /// True once a refresh of the current folder has completed (stays true during a
    /// later update or refresh of the same folder).
    bool isReady() const { return readyFlag; }
    /// The folder as the index keeps it: absolute, cleaned, without a trailing "/".
    QString folder() const { return current; }
    /// The current snapshot; never null (empty before the first refresh completes).
    std::shared_ptr<const LibraryCatalog> catalog() const { return snapshot; }
    QString databasePath() const { return database; }

    /// `folder` absolute and cleaned, as folder() gives it.
    static QString normalFolder(const QString& folder);

signals:
    void progress(int done, int total); ///< at most about 20 a second
    void ready();                       ///< catalog() now reflects the finished work

private:
    void start(const QStringList& paths, bool whole);
    void finish(quint64 serial, std::shared_ptr<const LibraryCatalog> result);

    QString database;
    QString current;
    bool readyFlag = false;
    std::shared_ptr<const LibraryCatalog> snapshot;
    // The running job's stop flag (null when none runs), shared with its thread.
    std::shared_ptr<std::atomic<bool>> jobStop;
    quint64 jobSerial = 0;
    bool jobIsWhole = false;
    // Paths that an update asked for and no finished job has read yet.
    QSet<QString> pending;
};

#endif // LIBRARYINDEX_H
