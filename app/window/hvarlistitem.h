#ifndef HVARLISTITEM_H
#define HVARLISTITEM_H

#include <QCollator>
#include <QLocale>
#include <QString>
#include <QTableWidgetItem>

#include <optional>

/// A collator for the locale that compares runs of digits by their value. The "C"
/// locale's collator ignores numeric mode, so a real locale stands in for it.
QCollator numericCollator(const QLocale& locale);

/// Table cell whose order compares runs of digits by their value, so that sizes
/// and times sort as numbers ("9.00" before "10.50").
class HVarListItem : public QTableWidgetItem
{
public:
    explicit HVarListItem(const QString& text);

    bool operator<(const QTableWidgetItem& other) const override;

private:
    const QCollatorSortKey& sortKey() const;

    // A table sort compares each cell many times: the collation key of its text is
    // made once and kept until the text changes.
    mutable QString keyText;
    mutable std::optional<QCollatorSortKey> key;
};

#endif // HVARLISTITEM_H
