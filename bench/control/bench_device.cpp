// One edit, end to end, against the virtual Wdx at its default timing (115200 baud, 1 ms
// latency), while the output screen's reads are posted every 250 ms as the screen polls.
//
// edit_to_device_ms_p50, edit_to_device_ms_p99: from an output gain set on the device model
//   to the last byte of the write that carries it arriving at the device.
// poll_tick_ui_us: user-interface thread CPU time for one output-screen tick: posting its
//   reads and decoding their answers into the model (median over the ticks).

#include "VirtualWdx.h"

#include "app/WdxConnections.h"
#include "control/WdxController.h"
#include "control/WdxController_CompressorSettings.h"
#include "control/WdxController_DelaysSettings.h"
#include "control/WdxController_DeviceInfo.h"
#include "control/WdxController_GainsSettings.h"
#include "control/WdxController_PatchSettings.h"
#include "control/WdxController_SpeakerSettings.h"
#include "logger/QLoggerManager.h"
#include "models/EditTimer.h"
#include "models/WdxModel.h"
#include "models/WdxOutputListModel.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestProcessor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace V = VirtualWdx;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kEdits = 120;
constexpr int kEditSpacingMs = 97; // not a multiple of the poll period

double threadCpuUs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// Blocks between events, so that waiting costs the measured thread no CPU.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Logging as the application does by default: files at Debug, here in a temporary folder.
    QTemporaryDir logs;
    QLogger::QLoggerManager::setBasePath(logs.path());
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Debug);

    V::reset();
    V::plug();
    // The guard windows of the edits are not under test here.
    EditTimer::setClock([] { return qint64(1) << 40; });

    auto *controller = new WdxController;
    auto *model = new WdxModel;
    connectControllerToModel(controller, model);
    std::atomic<bool> running{false};
    QObject::connect(controller->processor(), &WdxRequestProcessor::started, controller->processor(),
                     [&running] { running = true; }, Qt::DirectConnection);
    controller->start();
    if (!runUntil([&] { return running.load(); }, 20000))
        return 1;
    controller->processor()->resume();
    if (!runUntil([&] { return model->isConnected(); }, 20000)) {
        std::fprintf(stderr, "no connection\n");
        return 1;
    }

    const auto outputTick = [controller] {
        controller->compressor()->read();
        controller->patch()->readOutputPatch();
        controller->speaker()->readSpeakerPreset();
        controller->deviceInfo()->readOutputsMeters();
        controller->deviceInfo()->readOutputCompressorMeters();
        controller->delays()->readOutputDelays();
        controller->gains()->readOutputGains();
        controller->gains()->readFrontPanelGains();
        controller->speaker()->readSpeakerMode();
        controller->deviceInfo()->readSecurityStatus();
    };
    auto pending = [controller] { return controller->findChildren<WdxRequest *>().size(); };

    // UI time of one tick, alone on the line.
    std::vector<double> tickUs;
    for (int i = 0; i < 20; ++i) {
        const double start = threadCpuUs();
        outputTick();
        runUntil([&] { return pending() == 0; }, 5000);
        tickUs.push_back(threadCpuUs() - start);
        QCoreApplication::processEvents();
    }

    // Edits while the screen polls.
    QTimer poll;
    poll.setInterval(250);
    QObject::connect(&poll, &QTimer::timeout, outputTick);
    poll.start();
    std::vector<std::pair<Clock::time_point, int>> edits;
    for (int i = 0; i < kEdits; ++i) {
        const int value = (i % 2) ? 30 + (i % 40) : 10 + (i % 20);
        edits.emplace_back(Clock::now(), value);
        model->outputList()->setGain(0, quint8(value));
        QElapsedTimer wait;
        wait.start();
        runUntil([&wait] { return wait.elapsed() >= kEditSpacingMs; }, kEditSpacingMs * 2);
    }
    poll.stop();
    runUntil([&] { return pending() == 0 && controller->processor()->waitingCount() == 0; }, 20000);

    const std::vector<V::WireEntry> writes = V::frames(V::Direction::ToDevice, 0x01, 0x03, 0x40);
    std::vector<double> latencies;
    for (const auto &edit : edits) {
        for (const V::WireEntry &w : writes) {
            if (w.begin >= edit.first && w.data.size() > 1 && w.data[1] == edit.second) {
                latencies.push_back(std::chrono::duration<double, std::milli>(w.end - edit.first).count());
                break;
            }
        }
    }
    std::printf("edit_to_device_ms_p50 %.2f\n", percentile(latencies, 0.50));
    std::printf("edit_to_device_ms_p99 %.2f\n", percentile(latencies, 0.99));
    std::printf("edit_to_device_found %zu/%d\n", latencies.size(), kEdits);
    std::printf("poll_tick_ui_us %.0f\n", percentile(tickUs, 0.50));

    delete model;
    delete controller;
    EditTimer::setClock(EditTimer::Clock());
    V::reset();
    return 0;
}
