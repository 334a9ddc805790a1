#ifndef REPORTPAGE_H
#define REPORTPAGE_H

#include "reportmodel.h"

#include <QWidget>

#include <functional>

class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

/// One tab of the library report: a filter field over a sortable table of rows.
class ReportPage : public QWidget
{
    Q_OBJECT
public:
    ReportPage(const QStringList& headers, const QList<int>& widths, QWidget* parent = nullptr);

    void setRows(QVector<ReportRow> rows);
    /// A button beside the filter field.
    QPushButton* addButton(const QString& text, const std::function<void()>& action);

    /// The texts of a column in the rows shown, in the order shown.
    QStringList shownTexts(int column) const;
    /// The packages of the markable rows shown.
    QStringList shownMarkable() const;

signals:
    void packageActivated(const QString& path);

private:
    ReportModel* model;
    QSortFilterProxyModel* proxy;
    QLineEdit* filter;
    QTableView* view;
    QHBoxLayout* tools;
};

#endif // REPORTPAGE_H
