#include "packagerows.h"

#include "threadman.h"

#include <QTableWidget>

#include <algorithm>

PackageRows::PackageRows(QTableWidget* table, const threadMan* worker)
    : table(table), worker(worker)
{
}

QList<int> PackageRows::rowsOf(const QSet<QString>& paths) const
{
    QList<int> rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (paths.contains(pathAt(row))) {
            rows << row;
        }
    }
    return rows;
}

QList<int> PackageRows::rowsOf(const QList<QTableWidgetItem*>& items)
{
    QList<int> rows;
    for (const QTableWidgetItem* item : items) {
        rows << item->row();
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QString PackageRows::pathAt(int row) const
{
    const QTableWidgetItem* check = table->item(row, 0);
    return check == nullptr ? QString() : worker->filePathAt(check->data(Qt::UserRole).toInt());
}
