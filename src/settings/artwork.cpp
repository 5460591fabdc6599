// Pictures of the settings program; see artwork.h.
#include "settings/artwork.h"

#include <QPainter>
#include <functional>

namespace vrel {
namespace {

constexpr int kImageSize = 16;

QPixmap Transparent(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// One small computer: a screen over a base.
void DrawComputer(QPainter& painter, int x, int y) {
    painter.setPen(Qt::black);
    painter.setBrush(QColor(0, 128, 128));
    painter.drawRect(x, y, 7, 5);
    painter.setBrush(QColor(192, 192, 192));
    painter.drawRect(x - 1, y + 7, 9, 2);
}

QPixmap TwoComputers() {
    QPixmap pixmap = Transparent(kImageSize);
    QPainter painter(&pixmap);
    DrawComputer(painter, 1, 1);
    DrawComputer(painter, 8, 5);
    painter.setPen(QColor(0, 0, 128));
    painter.drawLine(4, 10, 4, 14);
    painter.drawLine(4, 14, 11, 14);
    return pixmap;
}

QPixmap RedCross() {
    QPixmap pixmap = Transparent(kImageSize);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(204, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(3, 3, 12, 12);
    painter.drawLine(12, 3, 3, 12);
    return pixmap;
}

// A sheet of paper with a folded corner and a few lines: a logged event.
QPixmap Sheet() {
    QPixmap pixmap = Transparent(kImageSize);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawPolygon(QPolygon({{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}}));
    painter.setPen(QColor(0, 0, 128));
    for (int y = 5; y <= 11; y += 3) painter.drawLine(5, y, 11, y);
    return pixmap;
}

// A small green diamond: one field of a log line.
QPixmap FieldMark() {
    QPixmap pixmap = Transparent(kImageSize);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0, 96, 0));
    painter.setBrush(QColor(0, 160, 0));
    painter.drawPolygon(QPolygon({{8, 3}, {13, 8}, {8, 13}, {3, 8}}));
    return pixmap;
}

// A closed book: the log file.
QPixmap Book() {
    QPixmap pixmap = Transparent(kImageSize);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(QColor(128, 0, 0));
    painter.drawRect(2, 1, 11, 13);
    painter.setBrush(Qt::white);
    painter.drawRect(4, 3, 7, 3);
    return pixmap;
}

// A disc of the colour with a white sign drawn by `sign`.
QPixmap StatusDisc(const QColor& colour, const std::function<void(QPainter&)>& sign) {
    QPixmap pixmap = Transparent(kImageSize);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(140));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    sign(painter);
    return pixmap;
}

}  // namespace

// A letter on a blue disc, with a "3" for the POP3 server.
QPixmap ProductLogo(int size) {
    QPixmap pixmap = Transparent(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 100.0, size / 100.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 70, 160));
    painter.drawEllipse(2, 2, 96, 96);
    painter.setBrush(Qt::white);
    painter.setPen(QPen(QColor(0, 40, 110), 2));
    painter.drawRect(20, 32, 60, 38);
    painter.drawPolyline(QPolygon({{20, 32}, {50, 56}, {80, 32}}));
    painter.setPen(QColor(255, 200, 0));
    QFont font("Liberation Sans");
    font.setPixelSize(30);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(58, 60, 34, 34), Qt::AlignCenter, "3");
    return pixmap;
}

std::array<QPixmap, 3> ServerImages() {
    return {Transparent(kImageSize), TwoComputers(), RedCross()};
}

std::array<QPixmap, 5> LogFileImages() {
    return {Transparent(kImageSize), Sheet(), FieldMark(), Transparent(kImageSize), Book()};
}

// A grey question mark, an orange exclamation mark, a red ring with an arrow head, a green
// tick.
std::array<QPixmap, 4> AliasStatusImages() {
    return {
        StatusDisc(QColor(150, 150, 150),
                   [](QPainter& p) {
                       p.drawArc(QRectF(5, 3, 6, 5), 180 * 16, -250 * 16);
                       p.drawLine(QPointF(8, 8.5), QPointF(8, 9.5));
                       p.drawPoint(QPointF(8, 12.5));
                   }),
        StatusDisc(QColor(230, 140, 0),
                   [](QPainter& p) {
                       p.drawLine(QPointF(8, 3.5), QPointF(8, 9));
                       p.drawPoint(QPointF(8, 12.5));
                   }),
        StatusDisc(QColor(200, 0, 0),
                   [](QPainter& p) {
                       p.drawArc(QRectF(4, 4, 8, 8), 90 * 16, 270 * 16);
                       p.drawPolyline(QPolygonF({{6, 2.5}, {8, 4}, {6, 5.5}}));
                   }),
        StatusDisc(QColor(0, 150, 40),
                   [](QPainter& p) {
                       p.drawPolyline(QPolygonF({{4, 8}, {7, 11}, {12, 5}}));
                   }),
    };
}

}  // namespace vrel
