#include "preferredwidthitem.h"

#include <QWidget>

PreferredWidthItem::PreferredWidthItem(QWidget* widget, int preferred)
    : QWidgetItem(widget), preferred(preferred)
{
}

QSize PreferredWidthItem::sizeHint() const
{
    QSize hint = QWidgetItem::sizeHint();
    if (!isEmpty()) {
        hint.setWidth(qBound(hint.width(), preferred, wid->maximumWidth()));
    }
    return hint;
}
