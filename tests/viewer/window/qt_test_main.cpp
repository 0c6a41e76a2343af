// main of the window tests: a QApplication for the widgets, then the tests.
#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace {

// Mesa's GL driver (…_dri.so) is unloaded when the display connection closes,
// before the leak check at exit; allocations it keeps for the process's life
// would then be reported from an unknown module that no suppression can name.
// Kept loaded, they carry the driver's name (see tests/viewer/lsan.supp).
void keepGlDriversLoaded() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
                dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

} // namespace
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (at build time, where there may be no display) needs
    // no application.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    // As the viewer does: QApplication takes the user's locale for the C
    // library; numbers in files and logs are written with a point.
    std::setlocale(LC_NUMERIC, "C");
    const int status = RUN_ALL_TESTS();
#if defined(__SANITIZE_ADDRESS__)
    keepGlDriversLoaded();
#endif
    return status;
}
