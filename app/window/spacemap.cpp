#include "spacemap.h"

#include "caselesskey.h"

#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <limits>

namespace {

// Lays `values` (largest first) out over `area` as a squarified treemap: tiles go in
// rows along the shorter side, and a row takes the next tile only while that keeps its
// worst aspect ratio from growing, so that the tiles stay near square.
QVector<QRectF> squarified(const QVector<qint64>& values, QRectF area)
{
    QVector<QRectF> tiles(values.size());
    qint64 remaining = 0;
    for (qint64 value : values) {
        remaining += value;
    }
    int start = 0;
    while (start < values.size() && remaining > 0 && !area.isEmpty()) {
        const double perByte = area.width() * area.height() / double(remaining);
        const double side = qMin(area.width(), area.height());
        const auto worst = [&](qint64 sum, qint64 largest, qint64 smallest) {
            const double row = double(sum) * perByte;
            return smallest <= 0 ? std::numeric_limits<double>::infinity()
                                 : qMax(double(largest) * perByte * side * side / (row * row),
                                        row * row / (side * side * double(smallest) * perByte));
        };
        int end = start;
        qint64 sum = 0;
        double best = std::numeric_limits<double>::infinity();
        while (end < values.size()) {
            const double ratio = worst(sum + values[end], values[start], values[end]);
            if (end > start && ratio > best) {
                break;
            }
            best = ratio;
            sum += values[end++];
        }
        const double thickness = double(sum) * perByte / side;
        const bool wide = area.width() >= area.height();
        double offset = 0;
        for (int i = start; i < end; ++i) {
            const double length = sum > 0 ? double(values[i]) / double(sum) * side : 0;
            tiles[i] = wide ? QRectF(area.left(), area.top() + offset, thickness, length)
                            : QRectF(area.left() + offset, area.top(), length, thickness);
            offset += length;
        }
        area = wide ? area.adjusted(thickness, 0, 0, 0) : area.adjusted(0, thickness, 0, 0);
        remaining -= sum;
        start = end;
    }
    return tiles;
}

QString nameOf(const CreatorSpace& creator)
{
    return creator.creator.isEmpty() ? QStringLiteral("Names that do not parse") : creator.creator;
}

// A creator keeps its colour from one refresh to the next.
QColor colourOf(const CreatorSpace& creator)
{
    if (creator.creator.isEmpty()) {
        return QColor(190, 190, 190);
    }
    const uint hash = caselessHash(creator.creator);
    return QColor::fromHsv(int(hash % 360), 70 + int(hash / 360 % 50), 225);
}

} // namespace

QString spaceFigures(qint64 count, qint64 bytes, const QString& one, const QString& many)
{
    const QLocale locale;
    return QStringLiteral("%1 %2, %3")
        .arg(locale.toString(count), count == 1 ? one : many, locale.formattedDataSize(bytes));
}

SpaceMap::SpaceMap(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumSize(200, 150);
}

void SpaceMap::setCreators(QVector<CreatorSpace> creators)
{
    this->creators = std::move(creators);
    total = 0;
    for (const CreatorSpace& creator : qAsConst(this->creators)) {
        total += creator.bytes;
    }
    hovered = -1;
    layOut();
    update();
}

int SpaceMap::indexAt(const QPointF& point) const
{
    for (int i = 0; i < tiles.size(); ++i) {
        if (tiles[i].contains(point)) {
            return i;
        }
    }
    return -1;
}

const CreatorSpace* SpaceMap::creatorAt(const QPointF& point) const
{
    const int index = indexAt(point);
    return index < 0 ? nullptr : &creators[index];
}

void SpaceMap::resizeEvent(QResizeEvent* /*event*/)
{
    layOut();
}

void SpaceMap::layOut()
{
    QVector<qint64> bytes;
    bytes.reserve(creators.size());
    for (const CreatorSpace& creator : qAsConst(creators)) {
        bytes << creator.bytes;
    }
    tiles = squarified(bytes, QRectF(rect()));
}

void SpaceMap::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    for (int i = 0; i < tiles.size(); ++i) {
        // A gap of a pixel tells neighbours apart; tiles thinner than that are left out.
        const QRectF tile = tiles[i].adjusted(0.5, 0.5, -0.5, -0.5);
        if (tile.width() < 1 || tile.height() < 1) {
            continue;
        }
        const QColor colour = colourOf(creators[i]);
        painter.fillRect(tile, i == hovered ? colour.darker(115) : colour);
        const QRectF text = tile.adjusted(4, 2, -4, -2);
        if (text.width() < 24 || text.height() < line) {
            continue;
        }
        painter.setPen(Qt::black);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop,
                         metrics.elidedText(nameOf(creators[i]), Qt::ElideRight, int(text.width())));
        if (text.height() >= 2 * line) {
            painter.drawText(text.adjusted(0, line, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                             metrics.elidedText(QLocale().formattedDataSize(creators[i].bytes),
                                                Qt::ElideRight, int(text.width())));
        }
    }
}

bool SpaceMap::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip) {
        return QWidget::event(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const int index = indexAt(help->pos());
    if (index < 0) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const CreatorSpace& creator = creators[index];
    QString text = nameOf(creator) + QLatin1Char('\n') +
                   spaceFigures(creator.packages, creator.bytes, QStringLiteral("package"),
                                QStringLiteral("packages"));
    if (total > 0) {
        text += QStringLiteral(" (%1 %)").arg(QLocale().toString(100.0 * double(creator.bytes) / double(total), 'f', 1));
    }
    QToolTip::showText(help->globalPos(), text, this, tiles[index].toAlignedRect());
    return true;
}

void SpaceMap::hover(int index)
{
    if (index == hovered) {
        return;
    }
    hovered = index;
    const bool clickable = index >= 0 && !creators[index].creator.isEmpty();
    setCursor(clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

void SpaceMap::mouseMoveEvent(QMouseEvent* event)
{
    hover(indexAt(event->localPos()));
}

void SpaceMap::leaveEvent(QEvent* /*event*/)
{
    hover(-1);
}

void SpaceMap::mouseReleaseEvent(QMouseEvent* event)
{
    const CreatorSpace* creator = event->button() == Qt::LeftButton ? creatorAt(event->localPos()) : nullptr;
    if (creator != nullptr && !creator->creator.isEmpty()) {
        emit creatorClicked(creator->creator);
    }
}
