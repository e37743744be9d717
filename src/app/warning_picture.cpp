#include "app/warning_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace app {

QPixmap warningPicture() {
    constexpr int kWidth = 90;
    constexpr int kHeight = 74;
    QPixmap picture(kWidth, kHeight);
    picture.fill(Qt::transparent);

    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    // The triangle, inset so that the wide border stays inside the picture.
    QPainterPath triangle;
    triangle.moveTo(kWidth / 2.0, 5.0);
    triangle.lineTo(kWidth - 5.0, kHeight - 5.0);
    triangle.lineTo(5.0, kHeight - 5.0);
    triangle.closeSubpath();
    QPen border(QColor(220, 0, 0), 7.0);
    border.setJoinStyle(Qt::RoundJoin);
    painter.setPen(border);
    painter.setBrush(QColor(255, 230, 0));
    painter.drawPath(triangle);

    // The exclamation mark: a tapering bar and a dot.
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    QPainterPath bar;
    bar.moveTo(kWidth / 2.0 - 4.5, 24.0);
    bar.lineTo(kWidth / 2.0 + 4.5, 24.0);
    bar.lineTo(kWidth / 2.0 + 2.0, 50.0);
    bar.lineTo(kWidth / 2.0 - 2.0, 50.0);
    bar.closeSubpath();
    painter.drawPath(bar);
    painter.drawEllipse(QPointF(kWidth / 2.0, 58.0), 4.0, 4.0);
    painter.end();
    return picture;
}

} // namespace app
