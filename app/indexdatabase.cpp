#include "indexdatabase.h"

#include "folderwalk.h"

#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

namespace {

constexpr int schemaVersion = 2;
// Another process writes in short transactions; one that holds the lock this long
// is taken for stuck.
constexpr int busyTimeoutMs = 10000;

QByteArray packReferences(const QVector<PackageReference>& references)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_12);
    // Strings are then stored as they lie in memory, without swapping every character.
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(references.size());
    for (const PackageReference& reference : references) {
        out << reference.name << reference.via;
    }
    return bytes;
}

// One copy of each text for all the references that hold it: a library names the same
// few thousand packages hundreds of thousands of times.
QString pooled(QHash<QStringView, QString>& pool, QStringView text)
{
    auto found = pool.constFind(text);
    if (found == pool.constEnd()) {
        const QString copy = text.toString();
        found = pool.insert(QStringView(copy), copy);
    }
    return found.value();
}

// Reads what packReferences wrote (a count, then each string as its length in bytes,
// 0xffffffff for a null one, and its UTF-16 characters, all little-endian) without a
// stream: the load of a whole library decodes hundreds of thousands of them.
QVector<PackageReference> unpackReferences(const QByteArray& bytes,
                                           QHash<QStringView, QString>& pool)
{
    const char* at = bytes.constData();
    const char* const end = at + bytes.size();
    const auto next = [&](QString& text) {
        if (end - at < 4) {
            return false;
        }
        const quint32 length = qFromLittleEndian<quint32>(at);
        at += 4;
        if (length == 0xffffffff) {
            text = QString();
            return true;
        }
        if (length % 2 != 0 || quint32(end - at) < length) {
            return false;
        }
        const int characters = int(length / 2);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        text = pooled(pool, QStringView(reinterpret_cast<const QChar*>(at), characters));
#else
        QString swapped(characters, Qt::Uninitialized);
        qFromLittleEndian<ushort>(at, characters, swapped.data());
        text = pooled(pool, swapped);
#endif
        at += length;
        return true;
    };
    QVector<PackageReference> references;
    if (end - at < 4) {
        return references;
    }
    const quint32 count = qFromLittleEndian<quint32>(at);
    at += 4;
    // Each reference takes at least 8 bytes, so a damaged count reserves no more than that.
    references.reserve(int(qMin<qint64>(count, (end - at) / 8)));
    PackageReference reference;
    for (quint32 i = 0; i < count && next(reference.name) && next(reference.via); ++i) {
        references.append(reference);
    }
    return references;
}

bool exec(QSqlQuery& query, const QString& statement)
{
    if (query.exec(statement)) {
        return true;
    }
    qDebug() << "library index:" << statement << query.lastError().text();
    return false;
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
    setAside();
    if (open(path) && prepare()) {
        return;
    }
    // Nowhere to keep it: the records of this run live in memory.
    qDebug() << "library index: cannot use" << path << "- keeping the index in memory";
    if (!open(QStringLiteral(":memory:")) || !prepare()) {
        qDebug() << "library index: no database driver";
    }
}

IndexDatabase::~IndexDatabase()
{
    closeConnection();
}

bool IndexDatabase::open(const QString& file)
{
    closeConnection();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    return db.open();
}

// Checks the schema version and makes the table when the database is new.
bool IndexDatabase::prepare()
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!exec(query, QStringLiteral("PRAGMA user_version")) || !query.next()) {
        return false;
    }
    const int version = query.value(0).toInt();
    if (version != 0 && version != schemaVersion) {
        qDebug() << "library index: schema version" << version << "is not ours";
        return false;
    }
    // WAL lets readers go on while another process writes.
    if (!exec(query, QStringLiteral("PRAGMA journal_mode=WAL"))) {
        return false;
    }
    if (version == schemaVersion) {
        return true;
    }
    if (!exec(query, QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    const bool made =
        exec(query, QStringLiteral("CREATE TABLE IF NOT EXISTS packages (path TEXT PRIMARY KEY, "
                                   "size INTEGER, modified INTEGER, licence TEXT, problem TEXT, "
                                   "refs BLOB) WITHOUT ROWID")) &&
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

void IndexDatabase::setAside()
{
    closeConnection();
    const QString aside = path + QStringLiteral(".broken");
    qDebug() << "library index: setting" << path << "aside as" << aside;
    QFile::remove(aside);
    QFile::rename(path, aside);
    // The journal files belong to the old database; beside a new one they would be
    // taken for its own.
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
}

bool IndexDatabase::load(const QString& folder, QHash<QString, IndexedPackage>& packages)
{
    packages.clear();
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    // Every path below the folder sorts between "folder/" and "folder0" ('0' follows '/').
    query.prepare(QStringLiteral("SELECT path, size, modified, licence, problem, refs FROM packages "
                                 "WHERE path >= ? AND path < ?"));
    // A root such as "/" already ends in its separator.
    const QString prefix = FolderWalk::childPath(folder, QString());
    query.addBindValue(prefix);
    query.addBindValue(prefix.left(prefix.size() - 1) + QLatin1Char('0'));
    bool ok = query.exec();
    QHash<QStringView, QString> pool;
    pool.reserve(4096);
    while (ok && query.next()) {
        IndexedPackage package;
        package.path = query.value(0).toString();
        package.size = query.value(1).toLongLong();
        package.modified = query.value(2).toLongLong();
        package.licence = query.value(3).toString();
        package.problem = query.value(4).toString();
        package.references = unpackReferences(query.value(5).toByteArray(), pool);
        package.described = true;
        packages.insert(package.path, package);
    }
    ok = ok && !query.lastError().isValid();
    if (ok) {
        return true;
    }
    qDebug() << "library index: cannot read" << path << query.lastError().text();
    packages.clear();
    query = QSqlQuery();
    setAside();
    if (!open(path) || !prepare()) {
        open(QStringLiteral(":memory:"));
        prepare();
    }
    return false;
}

bool IndexDatabase::store(const QVector<IndexedPackage>& packages, const QStringList& gone,
                          const std::atomic<bool>& stop)
{
    if (packages.isEmpty() && gone.isEmpty()) {
        return true;
    }
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery query(db);
    bool ok = exec(query, QStringLiteral("BEGIN IMMEDIATE"));
    ok = ok && query.prepare(QStringLiteral("DELETE FROM packages WHERE path = ?"));
    for (int i = 0; ok && i < gone.size() && !stop; ++i) {
        query.addBindValue(gone[i]);
        ok = query.exec();
    }
    ok = ok && query.prepare(QStringLiteral("INSERT OR REPLACE INTO packages VALUES (?, ?, ?, ?, ?, ?)"));
    for (int i = 0; ok && i < packages.size() && !stop; ++i) {
        const IndexedPackage& package = packages[i];
        query.addBindValue(package.path);
        query.addBindValue(package.size);
        query.addBindValue(package.modified);
        query.addBindValue(package.licence);
        query.addBindValue(package.problem);
        query.addBindValue(packReferences(package.references));
        ok = query.exec();
    }
    const bool complete = ok && !stop;
    ok = exec(query, complete ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")) && ok;
    if (!ok) {
        // Read-only, or locked by another process for long: the next run starts afresh.
        qDebug() << "library index: cannot write" << path << query.lastError().text();
        query = QSqlQuery();
        db = QSqlDatabase();
        setAside();
        return false;
    }
    return complete;
}
