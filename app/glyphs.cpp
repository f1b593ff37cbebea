#include "app/glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace
{
const QColor Navy(0x00, 0x00, 0x80);
const QColor Teal(0x00, 0x80, 0x80);
const QColor Green(0x10, 0x90, 0x30);
const QColor Red(0xC0, 0x20, 0x20);

void Arrow(QPainter& p, qreal left, qreal top, qreal width, qreal height)
{
    QPainterPath path;
    path.moveTo(left, top);
    path.lineTo(left + width, top + height / 2);
    path.lineTo(left, top + height);
    path.closeSubpath();
    p.drawPath(path);
}

void Page(QPainter& p, qreal left, qreal top, qreal width, qreal height)
{
    QPainterPath path;
    const qreal fold = width / 3;
    path.moveTo(left, top);
    path.lineTo(left + width - fold, top);
    path.lineTo(left + width, top + fold);
    path.lineTo(left + width, top + height);
    path.lineTo(left, top + height);
    path.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(path);
}

void Draw(QPainter& p, TGlyph glyph)
{
    // Every glyph is drawn on a 32 x 32 canvas and scaled by the painter.
    p.setPen(QPen(Navy, 1.5));
    switch (glyph)
    {
    case TGlyph::Go:
        p.setBrush(Green);
        Arrow(p, 9, 5, 17, 22);
        break;
    case TGlyph::Test:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Teal, 2));
        Arrow(p, 9, 5, 17, 22);
        p.setPen(QPen(Navy, 2));
        p.drawLine(QPointF(4, 28), QPointF(28, 28));
        break;
    case TGlyph::Stop:
        p.setBrush(Red);
        p.drawRoundedRect(QRectF(7, 7, 18, 18), 2, 2);
        break;
    case TGlyph::SkipFile:
        Page(p, 5, 5, 15, 21);
        p.setBrush(Navy);
        Arrow(p, 19, 10, 9, 12);
        break;
    case TGlyph::SkipURL:
        p.setBrush(Navy);
        Arrow(p, 5, 8, 11, 16);
        Arrow(p, 15, 8, 11, 16);
        p.drawRect(QRectF(26, 8, 2, 16));
        break;
    case TGlyph::Help:
    {
        p.setBrush(QColor(0xFF, 0xFF, 0x80));
        p.drawEllipse(QRectF(4, 4, 24, 24));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(18);
        p.setFont(font);
        p.drawText(QRectF(4, 4, 24, 24), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case TGlyph::IndicatorOK:
        p.setBrush(Green);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(9, 16), QPointF(14, 22), QPointF(23, 10)}));
        break;
    case TGlyph::IndicatorTimer:
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        p.setPen(QPen(Navy, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 16), QPointF(16, 7));
        p.drawLine(QPointF(16, 16), QPointF(22, 19));
        break;
    case TGlyph::IndicatorError:
        p.setBrush(Red);
        p.drawEllipse(QRectF(2, 2, 28, 28));
        p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 10), QPointF(22, 22));
        p.drawLine(QPointF(22, 10), QPointF(10, 22));
        break;
    case TGlyph::Program:
        p.setBrush(QColor(0x00, 0xFF, 0xFF));
        p.drawRoundedRect(QRectF(2, 2, 28, 28), 5, 5);
        p.setBrush(Navy);
        // A bird of prey's wings over a download arrow.
        p.drawPath(
            []
            {
                QPainterPath wings;
                wings.moveTo(3, 12);
                wings.quadTo(10, 6, 16, 12);
                wings.quadTo(22, 6, 29, 12);
                wings.quadTo(22, 10, 16, 15);
                wings.quadTo(10, 10, 3, 12);
                return wings;
            }());
        p.drawRect(QRectF(14.5, 15, 3, 7));
        p.drawPolygon(QPolygonF({QPointF(10, 22), QPointF(22, 22), QPointF(16, 29)}));
        break;
    }
}
} // namespace

QPixmap GlyphPixmap(TGlyph glyph, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    Draw(painter, glyph);
    return pixmap;
}

QIcon GlyphIcon(TGlyph glyph)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(GlyphPixmap(glyph, size));
    return icon;
}
