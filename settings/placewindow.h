#pragma once

#include <cstdint>

#include <QRect>

#include "settings/packedlocation.h"

class QWidget;

// Moves a top-level window's client area by WindowPlacement on the given screen area, or on its
// own screen when the area is empty.
void PlaceWindow(QWidget* window, int32_t location, const QRect& screen = QRect());

// The packed position of a top-level window's client area, as PlaceWindow takes it.
int32_t WindowLocation(const QWidget* window);
