#include "hvarlistitem.h"

#include <QCollator>
#include <QLocale>

namespace {

const QCollator& numericCollator()
{
    static const QCollator collator = [] {
        // The "C" locale's collator ignores numeric mode, and "C" is what a process
        // started with LANG=C.UTF-8 gets: fall back to a real locale there.
        QLocale locale;
        if (locale.language() == QLocale::C) {
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        }
        QCollator c(locale);
        c.setNumericMode(true);
        return c;
    }();
    return collator;
}

} // namespace

HVarListItem::HVarListItem(const QString& text) : QTableWidgetItem(text) {}

bool HVarListItem::operator<(const QTableWidgetItem& other) const
{
    return numericCollator().compare(data(Qt::DisplayRole).toString(),
                                     other.data(Qt::DisplayRole).toString()) < 0;
}
