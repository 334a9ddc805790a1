#include "reportmodel.h"

ReportModel::ReportModel(const QStringList& headers, QObject* parent)
    : QAbstractTableModel(parent), headers(headers)
{
}

void ReportModel::setRows(QVector<ReportRow> rows)
{
    beginResetModel();
    this->rows = std::move(rows);
    endResetModel();
}

int ReportModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int ReportModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : headers.size();
}

QVariant ReportModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size()) {
        return QVariant();
    }
    const ReportRow& row = rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return row.cells.value(index.column());
    case PathRole:
        return row.path;
    case MarkableRole:
        return row.markable;
    default:
        return QVariant();
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return headers.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
