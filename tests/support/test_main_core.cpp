// Test entry for headless suites: a QCoreApplication so Qt's core classes
// behave as in the program.
#include <QCoreApplication>
#include "TestEnvironment.h"

#include <gtest/gtest.h>

GRITTOR_TEST_SANITIZER_OPTIONS

int main(int argc, char **argv)
{
    grittor::test::SetTestEnvironment();
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
