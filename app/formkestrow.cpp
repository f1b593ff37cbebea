#include "app/formkestrow.h"

#include <QPalette>

TFormKestrow::TFormKestrow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Kestrow"));
    setFixedSize(462, 437);
    QPalette aqua = palette();
    aqua.setColor(QPalette::Window, QColor(0x00, 0xFF, 0xFF));
    setPalette(aqua);
    setAutoFillBackground(true);
}
