#pragma once

// Test entry points that keep every test away from the real user's settings and logs: the
// per-user configuration, data and cache folders point into a temporary folder for the run.

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

namespace VelaTest {

inline QTemporaryDir &sandbox()
{
    static QTemporaryDir dir;
    return dir;
}

inline void isolateUserFolders()
{
    const QByteArray root = sandbox().path().toLocal8Bit();
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
}

} // namespace VelaTest

#define VELA_TEST_MAIN_IMPL(TestObject, AppType)                                                 \
    int main(int argc, char *argv[])                                                            \
    {                                                                                           \
        VelaTest::isolateUserFolders();                                                         \
        AppType app(argc, argv);                                                                \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                \
        TestObject tc;                                                                          \
        QTEST_SET_MAIN_SOURCE_PATH                                                              \
        return QTest::qExec(&tc, argc, argv);                                                   \
    }

// For tests that need no window.
#define VELA_TEST_MAIN_CORE(TestObject) VELA_TEST_MAIN_IMPL(TestObject, QCoreApplication)
// For tests that need the GUI platform (offscreen in CTest).
#define VELA_TEST_MAIN_GUI(TestObject) VELA_TEST_MAIN_IMPL(TestObject, QGuiApplication)
