#pragma once

#include <cstdint>

#include <QPoint>
#include <QRect>
#include <QSize>

// A stored window position: Left * 65536 + Top in one 32-bit value. 65535 stands for
// "no position yet": the window is centred on the screen.
constexpr int32_t CentredWindowLocation = 65535;

// Left * 65536 + Top as a 32-bit addition that wraps (so Left -4, Top -4 gives -262148).
int32_t PackWindowLocation(int left, int top);

// The value taken as unsigned: Left is the upper 16 bits, Top the lower 16 bits.
QPoint UnpackWindowLocation(int32_t location);

// Where a window of the given size goes on the screen for a stored position: centred for
// 65535; otherwise the unpacked position, moved back left and up where the window would
// stick out at the right or bottom edge. Nothing is moved at the left or top edge.
QPoint WindowPlacement(int32_t location, const QSize& window, const QRect& screen);
