#include "appicon.h"

#include <QPainter>
#include <QPainterPath>

void paintAppIcon(QPainter& painter, int size)
{
    // Drawn on a 256-unit square, with the margin that icon themes leave around a tile.
    painter.save();
    painter.scale(size / 256.0, size / 256.0);
    painter.setRenderHint(QPainter::Antialiasing);

    // Plain fills only, which every SVG renderer draws alike.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(36, 84, 128));
    painter.drawRoundedRect(QRectF(12, 12, 232, 232), 44, 44);

    // The feather: a leaf-shaped vane from the nib at the lower left to the tip.
    QPainterPath vane;
    vane.moveTo(62, 198);
    vane.cubicTo(70, 132, 128, 62, 214, 40);
    vane.cubicTo(196, 116, 136, 178, 62, 198);
    painter.setBrush(QColor(250, 246, 236));
    painter.drawPath(vane);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(24, 56, 92), 6, Qt::SolidLine, Qt::RoundCap));
    QPainterPath spine;
    spine.moveTo(48, 212);
    spine.cubicTo(96, 160, 150, 100, 206, 48);
    painter.drawPath(spine);

    painter.setPen(QPen(QColor(255, 168, 38), 20, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(128, 192), QPointF(156, 218), QPointF(212, 150)}));
    painter.restore();
}
