// The main of the window's test programs: GoogleTest inside a QApplication, which widgets and
// Qt Network need. Without a display named, tests run on Qt's offscreen platform; those that
// need focus and keystrokes start their own X server.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
