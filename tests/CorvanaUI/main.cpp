#include <QApplication>

#include <gtest/gtest.h>

// Widgets need a QApplication; the offscreen platform keeps the tests off any display, also
// while CTest lists them.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication::setOrganizationName("CorvanaTests");
    QApplication::setApplicationName("CorvanaUITests");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
