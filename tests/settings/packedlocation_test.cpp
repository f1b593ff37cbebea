#include <gtest/gtest.h>

#include <QWidget>

#include "settings/placewindow.h"

TEST(WindowLocation, PacksAsAWrappingAddition)
{
    EXPECT_EQ(PackWindowLocation(100, 50), 6553650);
    EXPECT_EQ(UnpackWindowLocation(6553650), QPoint(100, 50));
    EXPECT_EQ(PackWindowLocation(-4, -4), -262148);
    EXPECT_EQ(UnpackWindowLocation(-262148), QPoint(65531, 65532));
    // An addition, not a bitwise or: a negative top borrows from the left.
    EXPECT_EQ(PackWindowLocation(3, -1), 3 * 65536 - 1);
    EXPECT_EQ(UnpackWindowLocation(PackWindowLocation(3, -1)), QPoint(2, 65535));
    EXPECT_EQ(UnpackWindowLocation(PackWindowLocation(65535, 65535)), QPoint(65535, 65535));
}

TEST(WindowLocation, PlacementCentresClampsRightAndBottomOnly)
{
    const QRect screen(0, 0, 1024, 768);
    const QSize window(462, 437);
    EXPECT_EQ(WindowPlacement(65535, window, screen), QPoint(512 - 231, 384 - 218));
    EXPECT_EQ(WindowPlacement(0, window, screen), QPoint(0, 0));
    EXPECT_EQ(WindowPlacement(PackWindowLocation(100, 50), window, screen), QPoint(100, 50));
    EXPECT_EQ(WindowPlacement(PackWindowLocation(700, 50), window, screen), QPoint(1024 - 462, 50));
    EXPECT_EQ(WindowPlacement(PackWindowLocation(10, 400), window, screen), QPoint(10, 768 - 437));
    // A window saved just off the top-left corner comes back against the right and bottom edges.
    EXPECT_EQ(WindowPlacement(PackWindowLocation(-4, -4), window, screen), QPoint(1024 - 462, 768 - 437));
    // A window larger than the screen ends up partly off the left edge; nothing clamps there.
    EXPECT_EQ(WindowPlacement(PackWindowLocation(5, 5), QSize(1100, 100), screen), QPoint(-76, 5));
    // On a screen that does not start at 0, 0 the same rule holds within its area.
    EXPECT_EQ(WindowPlacement(65535, QSize(100, 100), QRect(1024, 0, 800, 600)), QPoint(1024 + 350, 250));
}

TEST(WindowLocation, PlacesAndCapturesARealWindow)
{
    QWidget window;
    window.resize(200, 100);
    PlaceWindow(&window, PackWindowLocation(900, 700), QRect(0, 0, 1000, 750));
    EXPECT_EQ(window.pos(), QPoint(800, 650));
    EXPECT_EQ(WindowLocation(&window), PackWindowLocation(800, 650));
    PlaceWindow(&window, 65535, QRect(0, 0, 1000, 750));
    EXPECT_EQ(window.pos(), QPoint(400, 325));
}
