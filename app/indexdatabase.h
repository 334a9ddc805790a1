#ifndef INDEXDATABASE_H
#define INDEXDATABASE_H

#include "indexedpackage.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

/// The library index's SQLite database: one connection, for the thread that creates
/// the object, to the package records keyed by full path.
///
/// A database that cannot be read or written, is locked for long or has another
/// schema version is renamed to "<name>.broken" and made anew; when even that fails
/// the records live in memory only, so the index always works.
class IndexDatabase
{
public:
    explicit IndexDatabase(const QString& path);
    ~IndexDatabase();
    IndexDatabase(const IndexDatabase&) = delete;
    IndexDatabase& operator=(const IndexDatabase&) = delete;

    /// The records of every package below `folder`, keyed by path: what the database
    /// keeps of a package, without the name parsed from its path. False when they
    /// could not be read (the database has then been made anew and is empty).
    bool load(const QString& folder, QHash<QString, IndexedPackage>& packages);
    /// Writes `packages` and forgets `gone`, all or nothing; gives up, writing
    /// nothing, once `stop` is set.
    bool store(const QVector<IndexedPackage>& packages, const QStringList& gone,
               const std::atomic<bool>& stop);

private:
    bool open(const QString& file);
    bool prepare();
    void closeConnection();
    void setAside();

    QString path;
    QString connection;
};

#endif // INDEXDATABASE_H
