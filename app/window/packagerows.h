#ifndef PACKAGEROWS_H
#define PACKAGEROWS_H

#include <QList>
#include <QSet>
#include <QString>

class QTableWidget;
class QTableWidgetItem;
class threadMan;

/// Finds the rows of the package table by the paths of their packages, and the other
/// way round, through the record index that every row's cells carry.
class PackageRows
{
public:
    PackageRows(QTableWidget* table, const threadMan* worker);

    /// The rows whose packages lie at any of `paths`, top to bottom.
    QList<int> rowsOf(const QSet<QString>& paths) const;
    /// The distinct rows of `items`.
    static QList<int> rowsOf(const QList<QTableWidgetItem*>& items);
    QString pathAt(int row) const;

private:
    QTableWidget* table;
    const threadMan* worker;
};

#endif // PACKAGEROWS_H
