#ifndef PREFERREDWIDTHITEM_H
#define PREFERREDWIDTHITEM_H

#include <QWidgetItem>

/// A widget in a layout that asks for at least `preferred` pixels of width, as a
/// minimum width would, yet gives them up down to its own minimum width when the row
/// has no more room: a narrow screen still shows every control of the row.
class PreferredWidthItem : public QWidgetItem
{
public:
    PreferredWidthItem(QWidget* widget, int preferred);

    QSize sizeHint() const override;

private:
    int preferred;
};

#endif // PREFERREDWIDTHITEM_H
