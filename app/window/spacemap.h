#ifndef SPACEMAP_H
#define SPACEMAP_H

#include "libraryspace.h"

#include <QRectF>
#include <QVector>
#include <QWidget>

/// "12 packages, 3.38 GiB", as the space tab shows its figures.
QString spaceFigures(qint64 count, qint64 bytes, const QString& one, const QString& many);

/// A treemap of the library's space by creator: a tile for each creator, its area the
/// creator's share of the bytes, the largest top left. Hovering a tile shows its
/// figures; a click on a creator's tile asks for that creator's packages.
class SpaceMap : public QWidget
{
    Q_OBJECT
public:
    explicit SpaceMap(QWidget* parent = nullptr);

    /// Largest first, as LibrarySpace keeps them.
    void setCreators(QVector<CreatorSpace> creators);
    /// The creator whose tile holds `point`, or null.
    const CreatorSpace* creatorAt(const QPointF& point) const;

signals:
    /// Not for the files whose names do not parse: no creator names them.
    void creatorClicked(const QString& creator);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void layOut();
    int indexAt(const QPointF& point) const;
    void hover(int index);

    QVector<CreatorSpace> creators;
    QVector<QRectF> tiles; // one a creator, for the widget's size
    qint64 total = 0;
    int hovered = -1;
};

#endif // SPACEMAP_H
