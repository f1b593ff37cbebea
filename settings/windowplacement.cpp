#include "settings/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void PlaceWindow(QWidget* window, int32_t location, const QRect& screen)
{
    QRect area = screen;
    if (area.isEmpty())
    {
        const QScreen* own = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        if (!own)
            return;
        area = own->geometry();
    }
    window->move(WindowPlacement(location, window->frameGeometry().size(), area));
}

int32_t WindowLocation(const QWidget* window)
{
    return PackWindowLocation(window->x(), window->y());
}
