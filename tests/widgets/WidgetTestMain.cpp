// main() for test programs that need a QApplication (widgets on the
// offscreen platform). Each test case runs in its own process (CTest), so
// the application and every singleton start fresh.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest's discovery) runs without the test
    // environment; there is no display to open then either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
