// The Qt Quick test documents in values/ against the value lists and scripts in the resources;
// any warning (a failed XmlListModel query, a binding on undefined) fails the run.

#include "UiWarningGuard.h"
#include "VelaTestMain.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        UiWarningGuard::install();
        engine->rootContext()->setContextProperty("warningGuard", &guard);
    }

private:
    WarningGuard guard;
};

// XmlPatterns leaves its query trees in reference cycles at exit (indirect leaks, not ours).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt5XmlPatterns.so\n";
}

int main(int argc, char **argv)
{
    VelaTest::isolateUserFolders();
    Setup setup;
    return UiWarningGuard::verdict(
        quick_test_main_with_setup(argc, argv, "tst_ui_values", QUICK_TEST_SOURCE_DIR, &setup));
}

#include "tst_ui_values.moc"
