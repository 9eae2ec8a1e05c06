// Test programs run inside a QApplication on the offscreen platform, with the program's data
// and settings folders pointed at a temporary folder of their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "support/TestHome.h"

int main(int argc, char** argv)
{
    QTemporaryDir home;
    UseTestHome(home);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
