#ifndef HVARLISTITEM_H
#define HVARLISTITEM_H

#include <QTableWidgetItem>

/// Table cell whose order compares runs of digits by their value, so that sizes
/// and times sort as numbers ("9.00" before "10.50").
class HVarListItem : public QTableWidgetItem
{
public:
    explicit HVarListItem(const QString& text);

    bool operator<(const QTableWidgetItem& other) const override;
};

#endif // HVARLISTITEM_H
