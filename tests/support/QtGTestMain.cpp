// GoogleTest main for tests that need a QApplication (widgets, timers, queued
// signals). The platform comes from QT_QPA_PLATFORM: offscreen for the unit
// tests, the virtual X display for the real-edge tests.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
