#include "VelaApplication.h"
#include "VelaManager.h"

#include <QEvent>
#include <QGuiApplication>

int runVela(int &argc, char **argv, const std::function<void(VelaManager *)> &started)
{
    QGuiApplication app(argc, argv);
    auto *manager = new VelaManager;
    QObject::connect(manager, &VelaManager::appQuit, &app, &QCoreApplication::quit);
    if (started)
        started(manager);
    const int result = app.exec();
    // The loop has stopped and would never deliver the deferred delete: deliver it now so the
    // shutdown save runs before the process ends.
    manager->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
