#include "thumbnailcache.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <iterator>

namespace {

const int schemaVersion = 1;
// Another program writing the cache must not hold up an inspection for long: past
// this wait the cache is left alone this time.
const int lockWaitMs = 100;
// SQLite's result codes for a file that is no database or a damaged one.
const QString damagedCodes[] = {QStringLiteral("11"), QStringLiteral("26")};

// Tells a damaged thumbnail from a sound one; a check against damage, not against
// an attacker, so the fastest digest serves.
QByteArray checksum(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md4);
}

// Binds the next three placeholders to the state of the package.
void bindPackage(QSqlQuery& query, const ThumbnailCache::Package& package)
{
    query.addBindValue(package.path);
    query.addBindValue(package.size);
    query.addBindValue(package.modified);
}

// A transaction that cannot be committed (another program holds the file) is undone.
void commit(QSqlDatabase& db)
{
    if (!db.commit()) {
        db.rollback();
    }
}

} // namespace

ThumbnailCache::Package ThumbnailCache::packageAt(const QString& path)
{
    const QFileInfo info(path);
    return {info.absoluteFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

QString ThumbnailCache::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/thumbnails.sqlite");
}

ThumbnailCache::ThumbnailCache(const QString& file, qint64 cap)
    : file(file), cap(cap), connection(QStringLiteral("thumbnails-%1").arg(quintptr(this), 0, 16))
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (!open() && damaged) {
        rebuild();
    }
}

ThumbnailCache::~ThumbnailCache()
{
    close();
}

bool ThumbnailCache::open()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        if (!db.open()) {
            qDebug() << "thumbnail cache not opened:" << file << db.lastError().text();
            return false;
        }
    }
    // With a write-ahead log, not waiting for the disk at every commit may lose the
    // last thumbnails on a power cut, never the file's consistency: a fair trade for
    // a cache that an inspection reads and writes while the user waits.
    opened = run(QStringLiteral("PRAGMA busy_timeout=%1").arg(lockWaitMs)) &&
             run(QStringLiteral("PRAGMA journal_mode=WAL")) &&
             run(QStringLiteral("PRAGMA synchronous=NORMAL")) && prepareSchema();
    return opened;
}

bool ThumbnailCache::prepareSchema()
{
    const QString readVersion = QStringLiteral("PRAGMA user_version");
    QSqlQuery version(QSqlDatabase::database(connection, false));
    if (!run(version, readVersion) || !version.next()) {
        return false;
    }
    if (version.value(0).toInt() == schemaVersion) {
        return true;
    }
    // Made under the write lock, so that two programs starting at once build it once.
    // A cache of another layout is only rebuilt: it holds nothing that cannot be made again.
    if (!run(QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    bool ready = run(version, readVersion) && version.next();
    if (ready && version.value(0).toInt() != schemaVersion) {
        version.finish();
        ready = run(QStringLiteral("DROP TABLE IF EXISTS thumbnails")) &&
                run(QStringLiteral("CREATE TABLE thumbnails(package TEXT NOT NULL,"
                                   " size INTEGER NOT NULL, modified INTEGER NOT NULL,"
                                   " member TEXT NOT NULL, member_size INTEGER NOT NULL,"
                                   " used INTEGER NOT NULL, bytes INTEGER NOT NULL,"
                                   " checksum BLOB NOT NULL, image BLOB NOT NULL,"
                                   " PRIMARY KEY(package, member))")) &&
                run(QStringLiteral("CREATE INDEX thumbnails_used ON thumbnails(used, bytes)")) &&
                run(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
    }
    version.finish();
    return run(QString::fromLatin1(ready ? "COMMIT" : "ROLLBACK")) && ready;
}

void ThumbnailCache::close()
{
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
    opened = false;
}

void ThumbnailCache::rebuild()
{
    close();
    for (const char* suffix : {"", "-wal", "-shm"}) {
        QFile::remove(file + QLatin1String(suffix));
    }
    damaged = false;
    open();
}

bool ThumbnailCache::run(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement)) {
        return true;
    }
    return failed(query);
}

bool ThumbnailCache::run(const QString& statement)
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    return run(query, statement);
}

bool ThumbnailCache::run(QSqlQuery& query)
{
    return query.exec() || failed(query);
}

bool ThumbnailCache::failed(const QSqlQuery& query)
{
    const QSqlError error = query.lastError();
    qDebug() << "thumbnail cache:" << error.text() << query.lastQuery();
    if (std::find(std::begin(damagedCodes), std::end(damagedCodes), error.nativeErrorCode()) !=
        std::end(damagedCodes)) {
        damaged = true;
    }
    return false;
}

QHash<QString, ThumbnailCache::Entry> ThumbnailCache::find(const Package& package)
{
    QHash<QString, Entry> found;
    if (opened) {
        found = findStored(package);
    }
    if (damaged) {
        rebuild();
        found.clear();
    }
    return found;
}

QHash<QString, ThumbnailCache::Entry> ThumbnailCache::findStored(const Package& package)
{
    QHash<QString, Entry> found;
    QStringList broken;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT member, member_size, checksum, image FROM thumbnails"
                                 " WHERE package=? AND size=? AND modified=?"));
    bindPackage(query, package);
    if (!run(query)) {
        return found;
    }
    while (query.next()) {
        const QString member = query.value(0).toString();
        const QByteArray image = query.value(3).toByteArray();
        if (checksum(image) != query.value(2).toByteArray()) {
            broken << member;
            continue;
        }
        found.insert(member, {member, query.value(1).toLongLong(), image});
    }
    if (query.lastError().isValid()) {
        failed(query);
        return found;
    }
    query.finish();
    if (broken.isEmpty() || !db.transaction()) {
        return found;
    }
    query.prepare(QStringLiteral("DELETE FROM thumbnails WHERE package=? AND member=?"));
    for (const QString& member : qAsConst(broken)) {
        query.addBindValue(package.path);
        query.addBindValue(member);
        run(query);
    }
    commit(db);
    return found;
}

void ThumbnailCache::store(const Package& package, const QVector<Entry>& entries)
{
    if (opened) {
        storeEntries(package, entries);
    }
    if (opened && !entries.isEmpty()) {
        evict();
    }
    if (damaged) {
        rebuild();
    }
}

void ThumbnailCache::storeEntries(const Package& package, const QVector<Entry>& entries)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.transaction()) {
        return;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM thumbnails WHERE package=?"
                                 " AND (size<>? OR modified<>?)"));
    bindPackage(query, package);
    bool stored = run(query);
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO thumbnails(package, size, modified,"
                                 " member, member_size, used, bytes, checksum, image)"
                                 " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto entry = entries.cbegin(); stored && entry != entries.cend(); ++entry) {
        bindPackage(query, package);
        query.addBindValue(entry->member);
        query.addBindValue(entry->memberSize);
        query.addBindValue(now);
        query.addBindValue(entry->image.size());
        query.addBindValue(checksum(entry->image));
        query.addBindValue(entry->image);
        stored = run(query);
    }
    query.prepare(QStringLiteral("UPDATE thumbnails SET used=?"
                                 " WHERE package=? AND size=? AND modified=?"));
    query.addBindValue(now);
    bindPackage(query, package);
    stored = stored && run(query);
    query.finish();
    if (stored) {
        commit(db);
    } else {
        db.rollback();
    }
}

qint64 ThumbnailCache::storedBytes()
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!opened || !run(query, QStringLiteral("SELECT total(bytes) FROM thumbnails")) ||
        !query.next()) {
        return 0;
    }
    return query.value(0).toLongLong();
}

void ThumbnailCache::evict()
{
    if (storedBytes() <= cap) {
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.transaction()) {
        return;
    }
    QSqlQuery query(db);
    QVariantList dropped;
    qint64 kept = 0;
    if (run(query, QStringLiteral("SELECT rowid, bytes FROM thumbnails"
                                  " ORDER BY used DESC, rowid DESC"))) {
        while (query.next()) {
            kept += query.value(1).toLongLong();
            if (kept > cap) {
                dropped << query.value(0);
            }
        }
    }
    query.finish();
    query.prepare(QStringLiteral("DELETE FROM thumbnails WHERE rowid=?"));
    for (const QVariant& rowid : qAsConst(dropped)) {
        query.addBindValue(rowid);
        run(query);
    }
    query.finish();
    commit(db);
}

QByteArray ThumbnailCache::encode(const QImage& thumbnail)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (thumbnail.hasAlphaChannel()) {
        thumbnail.save(&buffer, "PNG");
    } else {
        // Small and quick to read again, without a loss that shows at this size.
        thumbnail.save(&buffer, "JPG", 75);
    }
    return bytes;
}

QImage ThumbnailCache::decode(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // A JPEG reader asked for less than the finest quality reads a tenth faster, and
    // at thumbnail size the difference cannot be seen.
    reader.setQuality(0);
    return reader.read();
}
