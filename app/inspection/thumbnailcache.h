#ifndef THUMBNAILCACHE_H
#define THUMBNAILCACHE_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <functional>

class QImage;
class QSqlQuery;

/// Thumbnails of package members kept between runs in an SQLite file of the user's
/// cache folder, so that a package seen before needs no extraction of its pictures.
///
/// An entry belongs to one state of a package (its path, size and modification time)
/// and to one member (its path, listed size and the CRC-32 of the archive's
/// directory); storing a new state of a package drops the entries of its old one.
/// The stored bytes are kept under a cap by dropping the least recently used
/// entries. Several threads and programs may use the file at once, each through an
/// object of its own; an object belongs to the thread that creates it.
///
/// The file is another program's as much as ours: a file held by another program for
/// longer than maxLockWaitMs is left to it, and this run works without it (one debug
/// line says so); a file of another layout is left as it is; only a file that fails
/// SQLite's own integrity check is set aside (renamed, with its "-wal" and "-shm",
/// to "….broken") and made anew. A damaged entry is dropped. A cache that cannot be
/// had only means that nothing is found and nothing stored.
class ThumbnailCache
{
public:
    static constexpr qint64 defaultCap = qint64(512) * 1024 * 1024;
    /// The longest a statement waits for another program's lock on the file.
    static constexpr int maxLockWaitMs = 1000;

    /// One state of a package file.
    struct Package
    {
        QString path;
        qint64 size = 0;
        qint64 modified = 0; ///< milliseconds since the epoch
    };

    /// One thumbnail of a member, encoded as by encode().
    struct Entry
    {
        QString member;
        qint64 memberSize = 0;
        quint32 crc = 0; ///< the member's CRC-32 as the archive's directory gives it
        QByteArray image;
    };

    /// The state of the package file at `path` now.
    static Package packageAt(const QString& path);
    /// "thumbnails-N.sqlite" in the user's cache folder, N the layout's version: a
    /// program of another layout keeps a file of its own.
    static QString defaultFile();

    /// `keepGoing`, when given, is asked while a statement waits for a lock; once it
    /// answers false, the statement gives up.
    explicit ThumbnailCache(const QString& file = defaultFile(), qint64 cap = defaultCap,
                            std::function<bool()> keepGoing = {});
    ~ThumbnailCache();
    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;

    /// The thumbnails stored for `package` in its present state, by member path; each
    /// fits its member only when listed with the same size and CRC-32. Damaged entries
    /// are dropped and left out.
    QHash<QString, Entry> find(const Package& package);
    /// Stores thumbnails of `package`, dropping those of any other state of it, and
    /// counts all of its thumbnails as used now; then drops the least recently used
    /// entries while more than the cap is stored. Storing none only counts them as
    /// used, which a reader does once it is done, so that the finding is not held up
    /// by a write.
    void store(const Package& package, const QVector<Entry>& entries);
    /// Bytes of thumbnails stored.
    qint64 storedBytes();

    /// A thumbnail as stored: JPEG, or PNG where it has transparency.
    static QByteArray encode(const QImage& thumbnail);
    /// A thumbnail stored as by encode(); a null image when the bytes are no picture.
    static QImage decode(const QByteArray& bytes);

private:
    bool open();
    bool prepareSchema();
    void close();
    void setAsideIfDamaged();
    bool passesIntegrityCheck();
    void workWithout(const char* why);
    QHash<QString, Entry> findStored(const Package& package);
    void storeEntries(const Package& package, const QVector<Entry>& entries);
    void evict();
    // Each runs a statement, waiting for another program's lock for a while, and when
    // it fails, notes whether the file is damaged.
    bool run(QSqlQuery& query);
    bool run(QSqlQuery& query, const QString& statement);
    bool run(const QString& statement);
    bool execute(QSqlQuery& query, const std::function<bool()>& statement);
    // Commits the transaction begun, or undoes it.
    void end(bool commit);
    bool failed(const QSqlQuery& query);

    QString file;
    qint64 cap;
    std::function<bool()> keepGoing;
    QString connection;
    bool opened = false;
    bool damaged = false;
};

#endif // THUMBNAILCACHE_H
