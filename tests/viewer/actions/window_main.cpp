// main of the button tests: a QApplication for the window, then the tests.
#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time, where there may be no display) needs
    // no application.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    // As the viewer does: files print numbers with a point. The log follows
    // QLocale's default, which the tests set where they need a comma.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    return RUN_ALL_TESTS();
}
