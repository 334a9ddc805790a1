#include "indexdatabase.h"

#include "folderwalk.h"
#include "recordblobs.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace RecordBlobs;

// 3: a nested reference keeps the index of the one it is nested in, not its route.
// 4: the content references of packages and of the collector's own files.
constexpr int schemaVersion = 4;
// Another process writes in short transactions; one that holds the lock longer leaves
// this run to keep its records in memory rather than wait.
constexpr int busyTimeoutMs = 1000;

// SQLite's result codes, without their extended part.
bool isBusy(const QSqlError& error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 /* SQLITE_BUSY */ || code == 6 /* SQLITE_LOCKED */;
}

// The bounds of every path below `folder`: they sort between "folder/" and "folder0"
// ('0' follows '/').
void bindFolder(QSqlQuery& query, const QString& folder)
{
    // A root such as "/" already ends in its separator.
    const QString prefix = FolderWalk::childPath(folder, QString());
    query.addBindValue(prefix);
    query.addBindValue(prefix.left(prefix.size() - 1) + QLatin1Char('0'));
}

} // namespace

IndexDatabase::IndexDatabase(const QString& databasePath) : path(databasePath)
{
    static std::atomic<int> serial{0};
    connection = QStringLiteral("libraryindex-%1").arg(++serial);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (open(path) && prepare()) {
        return;
    }
    if (damaged()) {
        setAside();
        if (open(path) && prepare()) {
            return;
        }
    }
    keepInMemory();
}

IndexDatabase::~IndexDatabase()
{
    closeConnection();
}

bool IndexDatabase::exec(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement)) {
        return true;
    }
    failure = query.lastError();
    return false;
}

bool IndexDatabase::open(const QString& file)
{
    closeConnection();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    if (db.open()) {
        return true;
    }
    failure = db.lastError();
    return false;
}

// Checks the schema version and makes the table when the database is new or of an
// older version; one of a newer version is left as it is.
bool IndexDatabase::prepare()
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!exec(query, QStringLiteral("PRAGMA user_version")) || !query.next()) {
        return false;
    }
    const int version = query.value(0).toInt();
    if (version > schemaVersion) {
        failure = QSqlError(QStringLiteral("made by a newer Quillmark (schema %1)").arg(version));
        newer = true;
        return false;
    }
    // WAL lets readers go on while another process writes.
    if (!exec(query, QStringLiteral("PRAGMA journal_mode=WAL"))) {
        return false;
    }
    if (version == schemaVersion) {
        return true;
    }
    // What a version before 3 kept is read again, as a cache is; 3 kept no content.
    if (!exec(query, QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    const bool made =
        (version == 3 ||
         (exec(query, QStringLiteral("DROP TABLE IF EXISTS packages")) &&
          exec(query, QStringLiteral("CREATE TABLE packages (path TEXT PRIMARY KEY, "
                                     "size INTEGER, modified INTEGER, licence TEXT, problem TEXT, "
                                     "refs BLOB) WITHOUT ROWID")))) &&
        // Keyed by path, size and time like the packages, so a changed file's stays unused.
        exec(query, QStringLiteral("CREATE TABLE IF NOT EXISTS contents (path TEXT PRIMARY KEY, "
                                   "size INTEGER, modified INTEGER, refs BLOB) WITHOUT ROWID")) &&
        exec(query, QStringLiteral("CREATE TABLE IF NOT EXISTS localfiles (path TEXT PRIMARY KEY, "
                                   "size INTEGER, modified INTEGER, refs BLOB) WITHOUT ROWID")) &&
        exec(query, QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
    return exec(query, made ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")) && made;
}

void IndexDatabase::closeConnection()
{
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
}

bool IndexDatabase::damaged()
{
    // A busy database is another process's, a newer one another version's: neither is
    // looked at further.
    if (newer || isBusy(failure) || !QSqlDatabase::database(connection, false).isOpen()) {
        return false;
    }
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next()) {
        return query.value(0).toString() != QLatin1String("ok");
    }
    const int code = query.lastError().nativeErrorCode().toInt() & 0xff;
    return code == 11 /* SQLITE_CORRUPT */ || code == 26 /* SQLITE_NOTADB */;
}

void IndexDatabase::setAside()
{
    closeConnection();
    const QString aside = path + QStringLiteral(".broken");
    qWarning() << "library index: setting" << path << "aside as" << aside << "-" << failure.text();
    QFile::remove(aside);
    QFile::rename(path, aside);
    // The journal files belong to the old database; beside a new one they would be
    // taken for its own.
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
}

void IndexDatabase::keepInMemory()
{
    if (!inMemory) {
        qWarning().noquote() << "library index: cannot use" << path << "(" + failure.text() + ")"
                             << "- this run keeps the index in memory";
    }
    inMemory = true;
    if (!open(QStringLiteral(":memory:")) || !prepare()) {
        qDebug() << "library index: no database driver";
    }
}

bool IndexDatabase::load(const QString& folder, QHash<QString, IndexedPackage>& packages)
{
    packages.clear();
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT path, size, modified, licence, problem, refs FROM packages "
                                 "WHERE path >= ? AND path < ?"));
    bindFolder(query, folder);
    bool ok = query.exec();
    TextPool pool;
    pool.reserve(4096);
    while (ok && query.next()) {
        IndexedPackage package;
        package.path = query.value(0).toString();
        package.size = query.value(1).toLongLong();
        package.modified = query.value(2).toLongLong();
        package.licence = query.value(3).toString();
        package.problem = query.value(4).toString();
        // A record whose references do not decode is left out, so that its file is read again.
        if (unpackReferences(query.value(5).toByteArray(), pool, package.references)) {
            package.described = true;
            packages.insert(package.path, package);
        }
    }
    ok = ok && !query.lastError().isValid();
    if (ok) {
        return true;
    }
    packages.clear();
    recover(query);
    return false;
}

bool IndexDatabase::loadContent(const QString& folder, QVector<IndexedPackage>& packages)
{
    // Taken once: the decoder below holds pointers into the vector.
    IndexedPackage* const items = packages.data();
    QHash<QString, int> waiting;
    for (int i = 0; i < packages.size(); ++i) {
        if (items[i].awaitsContent()) {
            waiting.insert(items[i].path, i);
        }
    }
    if (waiting.isEmpty()) {
        return true;
    }
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT path, size, modified, refs FROM contents WHERE path >= ? AND path < ?"));
    bindFolder(query, folder);
    bool ok = query.exec();

    // The rows are decoded on a thread of their own while the next ones are read: each
    // takes about half of a warm start's time for the content.
    struct Row
    {
        IndexedPackage* package;
        QByteArray refs;
    };
    std::vector<Row> rows(size_t(waiting.size()));
    std::mutex lock;
    std::condition_variable arrived;
    size_t read = 0;
    bool ended = false;
    std::thread decoder([&] {
        TextPool pool;
        pool.reserve(4096);
        for (size_t next = 0;; ++next) {
            {
                std::unique_lock<std::mutex> hold(lock);
                arrived.wait(hold, [&] { return next < read || ended; });
                if (next >= read) {
                    return;
                }
            }
            Row& row = rows[next];
            // Content that does not decode is read again.
            if (!unpackContent(row.refs, pool, *row.package)) {
                row.package->content.clear();
                row.package->contentRead = false;
            }
            row.refs = QByteArray();
        }
    });
    while (ok && query.next()) {
        const auto found = waiting.find(query.value(0).toString());
        if (found == waiting.end()) {
            continue;
        }
        IndexedPackage* const package = items + found.value();
        // Taken once, so that a damaged file's repeated row cannot pass the rows' end.
        waiting.erase(found);
        // Content read of another state of the file is read again.
        if (package->size != query.value(1).toLongLong() || package->modified != query.value(2).toLongLong()) {
            continue;
        }
        const std::lock_guard<std::mutex> hold(lock);
        rows[read++] = {package, query.value(3).toByteArray()};
        arrived.notify_one();
    }
    {
        const std::lock_guard<std::mutex> hold(lock);
        ended = true;
    }
    arrived.notify_one();
    decoder.join();
    ok = ok && !query.lastError().isValid();
    if (!ok) {
        recover(query);
    }
    return ok;
}

bool IndexDatabase::loadLocal(const QString& gameFolder, QHash<QString, LocalReferrer>& files)
{
    files.clear();
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT path, size, modified, refs FROM localfiles WHERE path >= ? AND path < ?"));
    bindFolder(query, gameFolder);
    bool ok = query.exec();
    TextPool pool;
    const int prefix = FolderWalk::childPath(gameFolder, QString()).size();
    while (ok && query.next()) {
        LocalReferrer file;
        file.path = query.value(0).toString().mid(prefix);
        file.size = query.value(1).toLongLong();
        file.modified = query.value(2).toLongLong();
        if (unpackNames(query.value(3).toByteArray(), pool, file.references)) {
            files.insert(file.path, file);
        }
    }
    ok = ok && !query.lastError().isValid();
    if (!ok) {
        files.clear();
        recover(query);
    }
    return ok;
}

void IndexDatabase::recover(QSqlQuery& query)
{
    failure = query.lastError();
    query = QSqlQuery();
    if (damaged()) {
        setAside();
        if (open(path) && prepare()) {
            return;
        }
    }
    keepInMemory();
}

bool IndexDatabase::write(const std::function<bool(QSqlQuery&)>& work, const std::atomic<bool>& stop)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery query(db);
    bool ok = query.exec(QStringLiteral("BEGIN IMMEDIATE")) && work(query);
    // The first failure, which a rollback after it would replace.
    QSqlError error = query.lastError();
    const bool complete = ok && !stop;
    if (!query.exec(complete ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")) && ok) {
        ok = false;
        error = query.lastError();
    }
    if (!ok) {
        failure = error;
        query = QSqlQuery();
        db = QSqlDatabase();
        // A damaged file is set aside, so that the next run starts afresh; a busy or
        // read-only one is left to its owner, and this run's records stay in memory.
        if (damaged()) {
            setAside();
        } else if (!inMemory) {
            inMemory = true;
            qWarning().noquote() << "library index: cannot write" << path << "(" + failure.text() + ")"
                                 << "- this run keeps what it read in memory";
        }
        return false;
    }
    return complete;
}

bool IndexDatabase::store(QVector<IndexedPackage>& packages, const QStringList& gone,
                          const std::atomic<bool>& stop, bool descriptions)
{
    if (packages.isEmpty() && gone.isEmpty()) {
        return true;
    }
    return write([&](QSqlQuery& query) {
        bool ok = true;
        for (const char* table : {"packages", "contents"}) {
            ok = ok && query.prepare(QStringLiteral("DELETE FROM %1 WHERE path = ?").arg(QLatin1String(table)));
            for (int i = 0; ok && i < gone.size() && !stop; ++i) {
                query.addBindValue(gone[i]);
                ok = query.exec();
            }
        }
        ok = ok && query.prepare(QStringLiteral("INSERT OR REPLACE INTO packages VALUES (?, ?, ?, ?, ?, ?)"));
        QByteArray references;
        for (int i = 0; ok && descriptions && i < packages.size() && !stop; ++i) {
            IndexedPackage& package = packages[i];
            // What could not be read says nothing of the file: it is read again next time.
            if (package.unreadable) {
                continue;
            }
            if (!packReferences(package.references, references)) {
                // Kept as this run reports it, and as the next run will.
                package.problem = QStringLiteral("its dependencies are too many to keep");
                package.references.clear();
                packReferences(package.references, references);
            }
            query.addBindValue(package.path);
            query.addBindValue(package.size);
            query.addBindValue(package.modified);
            query.addBindValue(package.licence);
            query.addBindValue(package.problem);
            query.addBindValue(references);
            ok = query.exec();
        }
        ok = ok && query.prepare(QStringLiteral("INSERT OR REPLACE INTO contents VALUES (?, ?, ?, ?)"));
        for (int i = 0; ok && i < packages.size() && !stop; ++i) {
            const IndexedPackage& package = packages[i];
            // Content that cannot be encoded is read again next time.
            if (package.unreadable || !package.contentRead || !packContent(package, references)) {
                continue;
            }
            query.addBindValue(package.path);
            query.addBindValue(package.size);
            query.addBindValue(package.modified);
            query.addBindValue(references);
            ok = query.exec();
        }
        return ok;
    }, stop);
}

bool IndexDatabase::storeLocal(const QString& gameFolder, const QVector<LocalReferrer>& files,
                               const QStringList& gone, const std::atomic<bool>& stop)
{
    if (files.isEmpty() && gone.isEmpty()) {
        return true;
    }
    const QString prefix = FolderWalk::childPath(gameFolder, QString());
    return write([&](QSqlQuery& query) {
        bool ok = query.prepare(QStringLiteral("DELETE FROM localfiles WHERE path = ?"));
        for (int i = 0; ok && i < gone.size() && !stop; ++i) {
            query.addBindValue(prefix + gone[i]);
            ok = query.exec();
        }
        ok = ok && query.prepare(QStringLiteral("INSERT OR REPLACE INTO localfiles VALUES (?, ?, ?, ?)"));
        QByteArray names;
        for (int i = 0; ok && i < files.size() && !stop; ++i) {
            if (!packNames(files[i].references, names)) {
                continue;
            }
            query.addBindValue(prefix + files[i].path);
            query.addBindValue(files[i].size);
            query.addBindValue(files[i].modified);
            query.addBindValue(names);
            ok = query.exec();
        }
        return ok;
    }, stop);
}
