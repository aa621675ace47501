// gtest main with a QCoreApplication, so that pauses run the event loop and
// the link thread's calls onto the main thread are delivered.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
