#include "app/warning_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>

namespace app {

namespace {

// Draws the sign into `area`, in the proportions of the 90 x 74 picture: the triangle inset so
// that its wide border stays inside, then a tapering bar and a dot.
void drawSign(QPainter& painter, const QRectF& area) {
    const qreal sx = area.width() / 90.0;
    const qreal sy = area.height() / 74.0;
    auto at = [&](qreal x, qreal y) { return QPointF(area.left() + x * sx, area.top() + y * sy); };
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath triangle;
    triangle.moveTo(at(45.0, 5.0));
    triangle.lineTo(at(85.0, 69.0));
    triangle.lineTo(at(5.0, 69.0));
    triangle.closeSubpath();
    QPen border(QColor(220, 0, 0), 7.0 * std::min(sx, sy));
    border.setJoinStyle(Qt::RoundJoin);
    painter.setPen(border);
    painter.setBrush(QColor(255, 230, 0));
    painter.drawPath(triangle);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    QPainterPath bar;
    bar.moveTo(at(40.5, 24.0));
    bar.lineTo(at(49.5, 24.0));
    bar.lineTo(at(47.0, 50.0));
    bar.lineTo(at(43.0, 50.0));
    bar.closeSubpath();
    painter.drawPath(bar);
    painter.drawEllipse(at(45.0, 58.0), 4.0 * sx, 4.0 * sy);
}

} // namespace

QPixmap warningPicture() {
    QPixmap picture(90, 74);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    drawSign(painter, QRectF(0, 0, 90, 74));
    painter.end();
    return picture;
}

QIcon warningIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap square(side, side);
        square.fill(Qt::transparent);
        QPainter painter(&square);
        // The sign keeps its width to height, centred from top to bottom.
        const qreal height = side * 74.0 / 90.0;
        const QRectF area(0, (side - height) / 2.0, side, height);
        drawSign(painter, area);
        painter.end();
        icon.addPixmap(square);
    }
    return icon;
}

} // namespace app
