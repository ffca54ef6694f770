#include "gui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace telva {

namespace {

template <class Draw> QIcon drawn(Draw draw) {
    QPixmap pixmap(36, 36);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(2, 2);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

QIcon connectionIcon(bool connected) {
    return drawn([connected](QPainter& p) {
        // Two plug halves: joined when connected, apart with a red cross when not.
        const QColor body = connected ? QColor(0x2e, 0x8b, 0x57) : QColor(0x80, 0x80, 0x80);
        p.setPen(Qt::NoPen);
        p.setBrush(body);
        const int gap = connected ? 0 : 3;
        p.drawRoundedRect(QRectF(1, 6, 6 - gap / 2.0, 6), 1.5, 1.5);
        p.drawRoundedRect(QRectF(11 + gap / 2.0, 6, 6 - gap / 2.0, 6), 1.5, 1.5);
        p.setPen(QPen(body, 1.6));
        p.drawLine(QPointF(7 - gap / 2.0, 7.5), QPointF(11 + gap / 2.0 - (connected ? 0 : 2), 7.5));
        p.drawLine(QPointF(7 - gap / 2.0, 10.5),
                   QPointF(11 + gap / 2.0 - (connected ? 0 : 2), 10.5));
        if (!connected) {
            p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 1.8));
            p.drawLine(QPointF(7, 1.5), QPointF(11, 4.5));
            p.drawLine(QPointF(11, 1.5), QPointF(7, 4.5));
        }
    });
}

QIcon installCertificateIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
        p.setBrush(QColor(0xff, 0xf8, 0xdc));
        p.drawRect(QRectF(1.5, 2.5, 13, 10));
        p.drawLine(QPointF(3.5, 5.5), QPointF(12.5, 5.5));
        p.drawLine(QPointF(3.5, 8), QPointF(9.5, 8));
        p.setBrush(QColor(0xc0, 0x30, 0x30));
        p.drawEllipse(QPointF(12.5, 12), 3, 3);
    });
}

QIcon refreshReportIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(0x1e, 0x60, 0xb0), 2));
        p.drawArc(QRectF(3, 3, 12, 12), 40 * 16, 280 * 16);
        QPainterPath head;
        head.moveTo(14, 2);
        head.lineTo(15.5, 7.5);
        head.lineTo(10, 6.5);
        head.closeSubpath();
        p.fillPath(head, QColor(0x1e, 0x60, 0xb0));
    });
}

QIcon showSourceIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 1.5, 10, 14));
        p.setPen(QPen(QColor(0x2e, 0x8b, 0x57), 1.2));
        p.drawText(QRectF(3.5, 3, 10, 12), Qt::AlignCenter, QStringLiteral("<>"));
    });
}

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/telva-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace telva
