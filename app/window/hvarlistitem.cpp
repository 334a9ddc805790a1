#include "hvarlistitem.h"

namespace {

// Cells are ordered on the GUI thread only, so one collator serves them all.
const QCollator& defaultCollator()
{
    static const QCollator collator = numericCollator(QLocale());
    return collator;
}

} // namespace

QCollator numericCollator(const QLocale& locale)
{
    QCollator collator(locale.language() == QLocale::C
                           ? QLocale(QLocale::English, QLocale::UnitedStates)
                           : locale);
    collator.setNumericMode(true);
    return collator;
}

HVarListItem::HVarListItem(const QString& text) : QTableWidgetItem(text) {}

bool HVarListItem::operator<(const QTableWidgetItem& other) const
{
    if (const auto* cell = dynamic_cast<const HVarListItem*>(&other)) {
        return sortKey().compare(cell->sortKey()) < 0;
    }
    return defaultCollator().compare(data(Qt::DisplayRole).toString(),
                                     other.data(Qt::DisplayRole).toString()) < 0;
}

const QCollatorSortKey& HVarListItem::sortKey() const
{
    const QString text = data(Qt::DisplayRole).toString();
    if (!key || text != keyText) {
        key = defaultCollator().sortKey(text);
        keyText = text;
    }
    return *key;
}
