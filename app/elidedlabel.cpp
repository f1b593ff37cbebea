#include "app/elidedlabel.h"

#include <QPainter>
#include <QStyle>

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {}

QString TElidedLabel::DisplayedText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void TElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(),
                          DisplayedText(), foregroundRole());
}

void TElidedLabel::SetText(const QString& text)
{
    setText(text);
    setToolTip(text);
}
