#include <QApplication>
#include <gtest/gtest.h>

// gtest main for tests that drive real widgets: the tests run inside a
// QApplication, on the offscreen platform unless one is chosen.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
