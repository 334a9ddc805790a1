#include "thumbnailcache.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <iterator>

namespace {

// The layout of the file: version 2 keys a member by its CRC-32 as well.
const int schemaVersion = 2;
// A statement waits this long for a lock before it looks at whether to go on: a stop
// takes effect within it.
const int lockPollMs = 50;
// SQLite's result codes for a file that another connection holds.
const QString busyCodes[] = {QStringLiteral("5"), QStringLiteral("6")};
// SQLite's result codes for a file that is no database or a damaged one.
const QString damagedCodes[] = {QStringLiteral("11"), QStringLiteral("26")};

// The files that this run works without: another program held them too long, or they
// have another layout.
QMutex leftAloneMutex;
QSet<QString> filesLeftAlone;

bool isOneOf(const QString& code, const QString (&codes)[2])
{
    return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

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

} // namespace

ThumbnailCache::Package ThumbnailCache::packageAt(const QString& path)
{
    const QFileInfo info(path);
    return {info.absoluteFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

QString ThumbnailCache::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/thumbnails-%1.sqlite").arg(schemaVersion);
}

ThumbnailCache::ThumbnailCache(const QString& file, qint64 cap, std::function<bool()> keepGoing)
    : file(file), cap(cap), keepGoing(std::move(keepGoing)),
      connection(QStringLiteral("thumbnails-%1").arg(quintptr(this), 0, 16))
{
    {
        QMutexLocker lock(&leftAloneMutex);
        if (filesLeftAlone.contains(file)) {
            return;
        }
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (!open() && damaged) {
        setAsideIfDamaged();
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
    // The layout is looked at first: a file of another layout is not changed at all.
    opened = run(QStringLiteral("PRAGMA busy_timeout=%1").arg(lockPollMs)) && prepareSchema() &&
             run(QStringLiteral("PRAGMA journal_mode=WAL")) &&
             run(QStringLiteral("PRAGMA synchronous=NORMAL"));
    return opened;
}

bool ThumbnailCache::prepareSchema()
{
    const auto layout = [this](int& version, int& tables) {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        if (!run(query, QStringLiteral("PRAGMA user_version")) || !query.next()) {
            return false;
        }
        version = query.value(0).toInt();
        return run(query, QStringLiteral("SELECT count(*) FROM sqlite_master")) && query.next() &&
               (tables = query.value(0).toInt(), true);
    };
    int version = 0;
    int tables = 0;
    if (!layout(version, tables)) {
        return false;
    }
    if (version == schemaVersion) {
        return true;
    }
    // Made under the write lock, so that two programs starting at once build it once.
    // Only an empty file is ours to fill: anything else belongs to someone else.
    if (version != 0 || tables != 0) {
        workWithout("has another layout");
        return false;
    }
    if (!run(QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    bool ready = layout(version, tables);
    if (ready && version == 0 && tables == 0) {
        ready = run(QStringLiteral("CREATE TABLE thumbnails(package TEXT NOT NULL,"
                                   " size INTEGER NOT NULL, modified INTEGER NOT NULL,"
                                   " member TEXT NOT NULL, member_size INTEGER NOT NULL,"
                                   " crc INTEGER NOT NULL,"
                                   " used INTEGER NOT NULL, bytes INTEGER NOT NULL,"
                                   " checksum BLOB NOT NULL, image BLOB NOT NULL,"
                                   " PRIMARY KEY(package, member))")) &&
                run(QStringLiteral("CREATE INDEX thumbnails_used ON thumbnails(used, bytes)")) &&
                run(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
    } else if (ready && version != schemaVersion) {
        ready = false;
        workWithout("has another layout");
    }
    return run(QString::fromLatin1(ready ? "COMMIT" : "ROLLBACK")) && ready;
}

void ThumbnailCache::close()
{
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
    opened = false;
}

void ThumbnailCache::setAsideIfDamaged()
{
    // An error can come from a moment's trouble with the disk: only SQLite's own check
    // tells a damaged file.
    const bool damagedFile = !passesIntegrityCheck();
    close();
    damaged = false;
    if (!damagedFile) {
        return;
    }
    // Renamed, never deleted: whatever another program still has open stays whole, and
    // no log of the old file is left to be played into the new one.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QString name = file + QLatin1String(suffix);
        const QString aside = file + QStringLiteral(".broken") + QLatin1String(suffix);
        if (QFile::exists(name)) {
            QFile::remove(aside);
            QFile::rename(name, aside);
        }
    }
    qDebug() << "thumbnail cache" << file << "failed its integrity check: set aside as"
             << file + QStringLiteral(".broken");
    open();
}

bool ThumbnailCache::passesIntegrityCheck()
{
    // Without run(): a failure here is the answer, not a new finding of damage.
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next()) {
        return isOneOf(query.lastError().nativeErrorCode(), busyCodes);
    }
    return query.value(0).toString() == QLatin1String("ok");
}

void ThumbnailCache::workWithout(const char* why)
{
    opened = false;
    QMutexLocker lock(&leftAloneMutex);
    if (!filesLeftAlone.contains(file)) {
        filesLeftAlone.insert(file);
        qDebug() << "thumbnail cache" << file << why << "- this run works without it";
    }
}

bool ThumbnailCache::run(QSqlQuery& query, const QString& statement)
{
    return execute(query, [&query, &statement] { return query.exec(statement); });
}

bool ThumbnailCache::run(const QString& statement)
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    return run(query, statement);
}

bool ThumbnailCache::run(QSqlQuery& query)
{
    return execute(query, [&query] { return query.exec(); });
}

bool ThumbnailCache::execute(QSqlQuery& query, const std::function<bool()>& statement)
{
    QElapsedTimer waited;
    waited.start();
    while (!statement()) {
        if (!isOneOf(query.lastError().nativeErrorCode(), busyCodes)) {
            return failed(query);
        }
        if (keepGoing && !keepGoing()) {
            return false;
        }
        if (waited.elapsed() >= maxLockWaitMs) {
            workWithout("is held by another program");
            return false;
        }
    }
    return true;
}

bool ThumbnailCache::failed(const QSqlQuery& query)
{
    const QSqlError error = query.lastError();
    qDebug() << "thumbnail cache:" << error.text() << query.lastQuery();
    if (isOneOf(error.nativeErrorCode(), damagedCodes)) {
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
        setAsideIfDamaged();
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
    query.prepare(QStringLiteral("SELECT member, member_size, crc, checksum, image"
                                 " FROM thumbnails WHERE package=? AND size=? AND modified=?"));
    bindPackage(query, package);
    if (!run(query)) {
        return found;
    }
    while (query.next()) {
        const QString member = query.value(0).toString();
        const QByteArray image = query.value(4).toByteArray();
        if (checksum(image) != query.value(3).toByteArray()) {
            broken << member;
            continue;
        }
        found.insert(member,
                     {member, query.value(1).toLongLong(), quint32(query.value(2).toLongLong()),
                      image});
    }
    if (query.lastError().isValid()) {
        failed(query);
        return found;
    }
    query.finish();
    if (broken.isEmpty() || !run(QStringLiteral("BEGIN IMMEDIATE"))) {
        return found;
    }
    query.prepare(QStringLiteral("DELETE FROM thumbnails WHERE package=? AND member=?"));
    bool dropped = true;
    for (auto member = broken.cbegin(); dropped && member != broken.cend(); ++member) {
        query.addBindValue(package.path);
        query.addBindValue(*member);
        dropped = run(query);
    }
    query.finish();
    end(dropped);
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
        setAsideIfDamaged();
    }
}

void ThumbnailCache::storeEntries(const Package& package, const QVector<Entry>& entries)
{
    // The write lock is taken at once: a lock taken halfway could not be waited for.
    if (!run(QStringLiteral("BEGIN IMMEDIATE"))) {
        return;
    }
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.prepare(QStringLiteral("DELETE FROM thumbnails WHERE package=?"
                                 " AND (size<>? OR modified<>?)"));
    bindPackage(query, package);
    bool stored = run(query);
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO thumbnails(package, size, modified,"
                                 " member, member_size, crc, used, bytes, checksum, image)"
                                 " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto entry = entries.cbegin(); stored && entry != entries.cend(); ++entry) {
        bindPackage(query, package);
        query.addBindValue(entry->member);
        query.addBindValue(entry->memberSize);
        query.addBindValue(qint64(entry->crc));
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
    end(stored);
}

void ThumbnailCache::end(bool commit)
{
    // A transaction that cannot be committed is undone; the rollback is no statement
    // to wait for.
    if (!commit || !run(QStringLiteral("COMMIT"))) {
        QSqlQuery(QSqlDatabase::database(connection, false)).exec(QStringLiteral("ROLLBACK"));
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
    if (!run(QStringLiteral("BEGIN IMMEDIATE"))) {
        return;
    }
    QSqlQuery query(QSqlDatabase::database(connection, false));
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
    bool done = true;
    for (auto rowid = dropped.cbegin(); done && rowid != dropped.cend(); ++rowid) {
        query.addBindValue(*rowid);
        done = run(query);
    }
    query.finish();
    end(done);
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
