// The assembled application against the virtual Wdx at its default timing.
//
// plug_to_polling_s, plug_to_polling_vs_floor: from plugging the device in to the state
//   "Polling", and that over the floor the design's own waits allow in the same run: the
//   monitor finding the bridge (its tick), the identity read, the 1000 ms status timer, and the
//   five reads of the walk after it at the round-trip time measured here (median of 3 runs).
// idle_cpu_fraction: process CPU time over wall time while the whole application (scene shown
//   on the offscreen platform) polls the main screen for 10 s, the virtual device included.

#include "VirtualWdx.h"

#include "BenchSupport.h"

#include "app/VelaManager.h"
#include "app/WdxManager.h"
#include "control/WdxController.h"
#include "control/WdxController_DeviceInfo.h"
#include "logger/QLoggerManager.h"
#include "models/WdxModel.h"
#include "protocol/WdxRequest.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace V = VirtualWdx;

using namespace Bench;

namespace {


struct PlugRun
{
    double total = -1;
    double floor = -1;
};

PlugRun plugToPolling()
{
    V::reset();
    WdxManager manager;
    WdxModel *model = manager.model();
    if (!spinUntil([&] { return model->state() == QLatin1String("WaitingWdx") && manager.firmwareDb()->mainFwVersion().size(); }, 20000))
        return {};
    waitMs(300);
    QElapsedTimer clock;
    double connectedAt = -1;
    QObject::connect(model, &WdxModel::isConnectedChanged, model, [&] {
        if (model->isConnected() && connectedAt < 0)
            connectedAt = double(clock.nsecsElapsed()) / 1e9;
    });
    clock.start();
    V::plug();
    if (!spinUntil([&] { return model->state() == QLatin1String("Polling"); }, 30000))
        return {};
    const double total = double(clock.nsecsElapsed()) / 1e9;

    // The round trip of one read, as the walk's reads take it (spacing included).
    model->setActiveScreen(QStringLiteral("disconnected"));
    waitMs(300);
    WdxController *controller = manager.controller();
    std::vector<double> trips;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer trip;
        trip.start();
        controller->deviceInfo()->readMainFwVersion();
        spinUntil([&] { return controller->findChildren<WdxRequest *>().isEmpty(); }, 5000);
        trips.push_back(double(trip.nsecsElapsed()) / 1e9);
    }
    std::sort(trips.begin(), trips.end());
    const double rtt = trips[trips.size() / 2];
    PlugRun run;
    run.total = total;
    run.floor = connectedAt + rtt + 1.0 + 5 * rtt;
    return run;
}

} // namespace


int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    QGuiApplication app(argc, argv);
    QLogger::QLoggerManager::setBasePath(home.path());
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Debug);
    WdxManager::setVersionCheckUrl(QString());

    std::vector<PlugRun> runs;
    for (int i = 0; i < 3; ++i)
        runs.push_back(plugToPolling());
    std::sort(runs.begin(), runs.end(), [](const PlugRun &a, const PlugRun &b) { return a.total < b.total; });
    const PlugRun &median = runs[1];
    std::printf("plug_to_polling_s %.3f\n", median.total);
    std::printf("plug_to_polling_floor_s %.3f\n", median.floor);
    std::printf("plug_to_polling_vs_floor %.3f\n", median.floor > 0 ? median.total / median.floor : -1.0);

    V::reset();
    V::plug();
    {
        auto *root = new VelaManager;
        WdxModel *model = root->deviceManager()->model();
        if (spinUntil([&] { return model->state() == QLatin1String("Polling"); }, 30000)) {
            waitMs(1000);
            const double cpu = processCpuSeconds();
            QElapsedTimer wall;
            wall.start();
            waitMs(10000);
            std::printf("idle_cpu_fraction %.4f\n", (processCpuSeconds() - cpu) / (double(wall.nsecsElapsed()) / 1e9));
        } else {
            std::printf("idle_cpu_fraction -1\n");
        }
        delete root;
    }
    V::reset();
    return 0;
}
