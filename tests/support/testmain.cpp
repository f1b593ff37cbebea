#include <gtest/gtest.h>

#include <QCoreApplication>

// Every test executable gets an application object, so sockets and timers work; no desktop
// toolkit is loaded for the tests that show no window.
int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
