#ifndef VARFILE_H
#define VARFILE_H

#include "indexedpackage.h"
#include "shellfileops.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

/// One package file found by the folder scan.
class varFile : public QObject
{
    Q_OBJECT
public:
    /// The record of a package as the folder walk found it.
    explicit varFile(const IndexedPackage& package);

    QString getFullPath() const { return fullPath; }
    QString getFileName() const { return fileName; }
    qint64 getFileSize() const { return fileSize; }
    QString getTimeString() const;

    int compareName(const varFile& other) const;
    bool isSameFile(const varFile& other) const;

    /// Mode 0 sends the package to the trash, mode 1 moves it into `destPath`; its
    /// ".depend.txt" companion follows once the package has gone, never without it.
    /// The result is that of the package file alone; any other mode does nothing and
    /// fails. `progress` hears of the package's bytes while a move copies them.
    bool moveOrDelete(int mode, const QString& destPath,
                      const CopyProgress& progress = CopyProgress()) const;

    /// Orders records by file name ignoring case, keeping the given order among equal
    /// names, and marks every record whose name and size another record shares: the
    /// result of inserting them one by one into a sorted list, in O(n log n).
    static void sortByName(QVector<varFile*>& files);

    // Set when another listed file has the same name (ignoring case) and size.
    bool duplicate = false;

private:
    QString fullPath;
    qint64 fileSize;
    QString fileName;
    QDateTime modified;
};

#endif // VARFILE_H
