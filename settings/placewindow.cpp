#include "settings/placewindow.h"

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
    // The position is the client area's, saved and restored alike: the frame a window manager
    // adds is not known before the window is shown, and counting it on one side only moves the
    // window by its title bar on every start.
    window->setGeometry(QRect(WindowPlacement(location, window->size(), area), window->size()));
}

int32_t WindowLocation(const QWidget* window)
{
    return PackWindowLocation(window->geometry().x(), window->geometry().y());
}
