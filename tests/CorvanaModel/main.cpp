#include <QCoreApplication>

#include <gtest/gtest.h>

// The model needs an application object for its timers, queued calls and settings.
int main(int argc, char** argv) {
    QCoreApplication::setOrganizationName("CorvanaTests");
    QCoreApplication::setApplicationName("CorvanaModelTests");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
