// Test entry for window suites (run with the offscreen platform).
#include "foundation/GuiApplication.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    grittor::GuiApplication app(argc, argv); // reports exceptions escaping handlers
    QApplication::setApplicationDisplayName("Grittor");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
