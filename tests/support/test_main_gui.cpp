// Test entry for window suites (run with the offscreen platform).
#include "foundation/GuiApplication.h"

#include <QApplication>
#include "TestEnvironment.h"

#include <gtest/gtest.h>

GRITTOR_TEST_SANITIZER_OPTIONS

int main(int argc, char **argv)
{
    grittor::test::SetTestEnvironment();
    grittor::GuiApplication app(argc, argv); // reports exceptions escaping handlers
    QApplication::setApplicationDisplayName("Grittor");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
