#ifndef REPORTMODEL_H
#define REPORTMODEL_H

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariant>
#include <QVector>

/// One line of a library report: its cells (numbers stay numbers, so that they sort by
/// value) and the package it is about.
struct ReportRow
{
    QVector<QVariant> cells;
    QString path;          ///< the package to select on a double-click; may be empty
    bool markable = false; ///< whether "Mark in list" ticks the package
};

/// A read-only table of report rows, for a view behind a sorting and filtering proxy.
class ReportModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    /// The roles beside the cells' text.
    enum Role
    {
        PathRole = Qt::UserRole,
        MarkableRole,
    };

    explicit ReportModel(const QStringList& headers, QObject* parent = nullptr);

    void setRows(QVector<ReportRow> rows);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList headers;
    QVector<ReportRow> rows;
};

#endif // REPORTMODEL_H
