#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // The boxes' owner is a real window; test discovery runs without ctest's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
