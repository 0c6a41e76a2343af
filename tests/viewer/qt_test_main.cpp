// main of the viewer's test programs: a QApplication, then the tests. Listing them (ctest's discovery, perhaps
// without a display) needs no application.
#include <QApplication>
#include <QLocale>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <clocale>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    // The window keeps its layout in QSettings: the tests use a settings folder of their own.
    QStandardPaths::setTestModeEnabled(true);
    // As the viewer does: numbers print with a point. The log follows QLocale's default, which tests may change.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    const int status = RUN_ALL_TESTS();
#if defined(__SANITIZE_ADDRESS__)
    // Mesa's GL driver (…_dri.so) is unloaded when the display connection closes, before the leak check at exit,
    // which would then report what it keeps for the process's life from a module no suppression can name. Kept
    // loaded, it carries the driver's name (see lsan.supp).
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
                dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
#endif
    return status;
}
