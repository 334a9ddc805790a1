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

// 3: a nested reference keeps the index of the one it is nested in, not its route.
constexpr int schemaVersion = 3;
// Another process writes in short transactions; one that holds the lock longer leaves
// this run to keep its records in memory rather than wait.
constexpr int busyTimeoutMs = 1000;

// SQLite's result codes, without their extended part.
bool isBusy(const QSqlError& error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 /* SQLITE_BUSY */ || code == 6 /* SQLITE_LOCKED */;
}

// False when the references cannot be encoded, as when memory runs out.
bool packReferences(const QVector<PackageReference>& references, QByteArray& bytes)
{
    bytes.clear();
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_12);
    // Strings are then stored as they lie in memory, without swapping every character.
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(references.size());
    for (const PackageReference& reference : references) {
        out << reference.name << qint32(reference.parent);
    }
    return out.status() == QDataStream::Ok;
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

// Reads what packReferences wrote (a count, then for each reference its name as its
// length in bytes, 0xffffffff for a null one, and its UTF-16 characters, then its
// parent, all little-endian) without a stream: the load of a whole library decodes
// hundreds of thousands of them. False for bytes that are not such a list.
bool unpackReferences(const QByteArray& bytes, QHash<QStringView, QString>& pool,
                      QVector<PackageReference>& references)
{
    const char* at = bytes.constData();
    const char* const end = at + bytes.size();
    const auto number = [&](quint32& value) {
        if (end - at < 4) {
            return false;
        }
        value = qFromLittleEndian<quint32>(at);
        at += 4;
        return true;
    };
    const auto next = [&](QString& text) {
        quint32 length = 0;
        if (!number(length)) {
            return false;
        }
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
    references.clear();
    quint32 count = 0;
    if (!number(count)) {
        return false;
    }
    // Each reference takes at least 8 bytes, so a damaged count reserves no more than that.
    references.reserve(int(qMin<qint64>(count, (end - at) / 8)));
    PackageReference reference;
    quint32 parent = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (!next(reference.name) || !number(parent)) {
            return false;
        }
        // A parent comes before its children, which keeps every route finite.
        reference.parent = qint32(parent);
        if (reference.parent < -1 || reference.parent >= int(i)) {
            return false;
        }
        references.append(reference);
    }
    return at == end;
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
    // What an older version kept is read again, as a cache is.
    if (!exec(query, QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    const bool made =
        exec(query, QStringLiteral("DROP TABLE IF EXISTS packages")) &&
        exec(query, QStringLiteral("CREATE TABLE packages (path TEXT PRIMARY KEY, "
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
    failure = query.lastError();
    packages.clear();
    query = QSqlQuery();
    if (damaged()) {
        setAside();
        if (open(path) && prepare()) {
            return false;
        }
    }
    keepInMemory();
    return false;
}

bool IndexDatabase::store(QVector<IndexedPackage>& packages, const QStringList& gone,
                          const std::atomic<bool>& stop)
{
    if (packages.isEmpty() && gone.isEmpty()) {
        return true;
    }
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery query(db);
    bool ok = query.exec(QStringLiteral("BEGIN IMMEDIATE"));
    ok = ok && query.prepare(QStringLiteral("DELETE FROM packages WHERE path = ?"));
    for (int i = 0; ok && i < gone.size() && !stop; ++i) {
        query.addBindValue(gone[i]);
        ok = query.exec();
    }
    ok = ok && query.prepare(QStringLiteral("INSERT OR REPLACE INTO packages VALUES (?, ?, ?, ?, ?, ?)"));
    QByteArray references;
    for (int i = 0; ok && i < packages.size() && !stop; ++i) {
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
