#include "settings/packedlocation.h"

int32_t PackWindowLocation(int left, int top)
{
    const uint32_t packed = static_cast<uint32_t>(left) * 65536u + static_cast<uint32_t>(top);
    return static_cast<int32_t>(packed);
}

QPoint UnpackWindowLocation(int32_t location)
{
    const uint32_t value = static_cast<uint32_t>(location);
    return QPoint(static_cast<int>(value >> 16), static_cast<int>(value & 65535u));
}

QPoint WindowPlacement(int32_t location, const QSize& window, const QRect& screen)
{
    if (location == CentredWindowLocation)
        return QPoint(screen.x() + screen.width() / 2 - window.width() / 2,
                      screen.y() + screen.height() / 2 - window.height() / 2);
    QPoint place = UnpackWindowLocation(location);
    if (place.x() + window.width() > screen.x() + screen.width())
        place.setX(screen.x() + screen.width() - window.width());
    if (place.y() + window.height() > screen.y() + screen.height())
        place.setY(screen.y() + screen.height() - window.height());
    return place;
}
