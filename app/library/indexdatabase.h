#ifndef INDEXDATABASE_H
#define INDEXDATABASE_H

#include "indexedpackage.h"
#include "localcontentreader.h"

#include <QHash>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

class QSqlQuery;

/// The library index's SQLite database: one connection, for the thread that creates
/// the object, to the package records keyed by full path.
///
/// A database that fails SQLite's integrity check is renamed to "<name>.broken" and
/// made anew; one of an older schema is emptied and used. One that another process
/// keeps locked for over a second, that cannot be written or that a newer version
/// made is left as it is: this object then keeps its records in memory (says so
/// once), so the index always works.
class IndexDatabase
{
public:
    explicit IndexDatabase(const QString& path);
    ~IndexDatabase();
    IndexDatabase(const IndexDatabase&) = delete;
    IndexDatabase& operator=(const IndexDatabase&) = delete;

    /// The records of every package below `folder`, keyed by path: what the database
    /// keeps of a package, without the name parsed from its path, and without its
    /// content references. False when they could not be read (the database has then
    /// been made anew and is empty).
    bool load(const QString& folder, QHash<QString, IndexedPackage>& packages);
    /// Gives each of `packages` that waits for its content the content references kept
    /// of its file as it is now, when there are any; they come apart from the rest, so
    /// that the descriptions are not kept waiting.
    bool loadContent(const QString& folder, QVector<IndexedPackage>& packages);
    /// Writes `packages` (their descriptions unless `descriptions` is false, and the
    /// content references of those whose content was read) and forgets `gone`, all or
    /// nothing; gives up, writing nothing, once `stop` is set. Unreadable packages are
    /// left out; one whose references cannot be encoded is kept, and changed in
    /// `packages`, as broken.
    bool store(QVector<IndexedPackage>& packages, const QStringList& gone,
               const std::atomic<bool>& stop, bool descriptions = true);
    /// The collector's own files below `gameFolder` that were read, keyed by their path
    /// relative to it.
    bool loadLocal(const QString& gameFolder, QHash<QString, LocalReferrer>& files);
    /// Writes `files` and forgets `gone` (relative paths) below `gameFolder`, all or nothing.
    bool storeLocal(const QString& gameFolder, const QVector<LocalReferrer>& files,
                    const QStringList& gone, const std::atomic<bool>& stop);

private:
    bool exec(QSqlQuery& query, const QString& statement);
    // After a failed read: sets a damaged file aside, else keeps the records in memory.
    void recover(QSqlQuery& query);
    // Runs `work` in one transaction, committed unless it fails or `stop` is set.
    bool write(const std::function<bool(QSqlQuery&)>& work, const std::atomic<bool>& stop);
    bool open(const QString& file);
    bool prepare();
    void closeConnection();
    // Whether the open file fails SQLite's integrity check; never for a busy or newer one.
    bool damaged();
    void setAside();
    void keepInMemory();

    QString path;
    QString connection;
    QSqlError failure; // the last thing that went wrong
    bool newer = false;
    bool inMemory = false;
};

#endif // INDEXDATABASE_H
