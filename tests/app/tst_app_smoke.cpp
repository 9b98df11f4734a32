// Runs the application as main does, lets it render, quits it through the scene's quit
// signal, and then checks what the shutdown left behind.

#include "VelaTestMain.h"

#include "app/VelaApplication.h"
#include "app/WdxManager.h"
#include "app/VelaManager.h"

#include <QDir>
#include <QQmlEngine>
#include <QQuickView>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {
struct RunResult
{
    int exitCode = -1;
    bool rendered = false;
    QString dataDir;
} run;
}

class TstAppSmoke : public QObject
{
    Q_OBJECT
private slots:
    void rendersQuitsAndSaves()
    {
        QVERIFY2(run.rendered, "no frame was rendered before the time-out");
        QCOMPARE(run.exitCode, 0);

        QCoreApplication::setOrganizationName("Orvo");
        QCoreApplication::setApplicationName(VelaManager::applicationName());
        QSettings store;
        QCOMPARE(store.value("WindowSettings/WindowSize").toSize(), QSize(640, 480));
        QCOMPARE(store.value("WindowSettings/WindowPosition").toPoint(), QPoint(200, 200));
        QCOMPARE(store.value("FirstUse/IsFirstUse").toBool(), false);
        QCOMPARE(store.value("LogSettings/LogMode").toInt(), 2);
        QCOMPARE(store.value("LogSettings/LogLevel").toInt(), 1);

        const QDir logs(run.dataDir + "/logs");
        const QStringList files = logs.entryList(QDir::Files);
        QVERIFY2(!files.isEmpty(), qPrintable(logs.path()));
        const QRegularExpression name(R"(^\d{4}-\d\d-\d\d_\d\d\.(00|15|30|45)\.00\(\d+\)\.log$)");
        for (const QString &file : files)
            QVERIFY2(name.match(file).hasMatch(), qPrintable(file));
    }
};

int main(int argc, char *argv[])
{
    VelaTest::isolateUserFolders();
    WdxManager::setVersionCheckUrl(QString());
    run.exitCode = runVela(argc, argv, [](VelaManager *manager) {
        run.dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QQuickView *view = manager->view();
        QObject::connect(view, &QQuickWindow::frameSwapped, manager, [view] {
            run.rendered = true;
            // Quit the way the scene does: through the engine's quit signal.
            QMetaObject::invokeMethod(view->engine(), "quit", Qt::QueuedConnection);
        });
        QTimer::singleShot(30000, manager, &VelaManager::appQuit);
    });
    QCoreApplication app(argc, argv);
    TstAppSmoke tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_app_smoke.moc"
