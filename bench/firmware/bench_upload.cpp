// A full firmware upload (main image, DSP image, one preset of each kind) against the virtual
// Wdx at 115200 baud and 2 ms device latency, through the application's own request processor
// and update controller.
//
// Figures (stdout, "key value"):
//   upload_s           from the start request to the last preset reported complete
//   upload_wait_s      time the procedure waits by design: the reboot handshake (start until the
//                      boot-stage lock request) and the pauses after closing an image (until the
//                      first request the device answers again)
//   upload_floor_s     least time the transfers can take under the link's timing model: per
//                      request, the larger of the 10 ms write spacing and request bytes on the
//                      line + device latency + answer bytes on the line (a closing request: its
//                      bytes only, the pause follows)
//   upload_efficiency  upload_floor_s / (upload_s - upload_wait_s)
// Everything else goes to stderr.

#include "VirtualWdx.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "logger/QLoggerManager.h"
#include "protocol/WdxRequestProcessor.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>

namespace V = VirtualWdx;
using Seconds = std::chrono::duration<double>;

namespace {

constexpr int kBaud = 115200;
constexpr int kLatencyUs = 2000;
constexpr double kSpacingS = 0.010;

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

bool isClosing(const V::WireEntry &e)
{
    return e.cmd == 0x01 && e.op == 0x02 && e.data.size() >= 2 && (e.data[0] == 0x00 || e.data[0] == 0x02)
        && e.data[1] >= 0x81 && e.data[1] <= 0x83;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);

    V::reset();
    V::Timing timing;
    timing.baud = kBaud;
    timing.latencyUs = kLatencyUs;
    V::setTiming(timing);
    V::update([](V::DeviceState &s) {
        s.mainVersion = s.dspVersion = s.mainPresetVersion = s.subPresetVersion = "1.00";
    });
    V::plug();

    QThread engineThread;
    auto *processor = new WdxRequestProcessor(false);
    processor->setTimeout(250);
    processor->moveToThread(&engineThread);
    std::atomic<bool> running{false};
    QObject::connect(&engineThread, &QThread::started, processor, &WdxRequestProcessor::start);
    QObject::connect(processor, &WdxRequestProcessor::finished, &engineThread, &QThread::quit, Qt::DirectConnection);
    QObject::connect(processor, &WdxRequestProcessor::started, processor, [&running] { running = true; },
                     Qt::DirectConnection);
    auto *controller = new WdxFirmwareUpdateController(processor);
    bool loaded = false, done = false, failed = false;
    QObject::connect(controller, &WdxFirmwareUpdateController::fwLoaded, [&loaded] { loaded = true; });
    QObject::connect(controller, &WdxFirmwareUpdateController::presetUploadCompleted, [&done] { done = true; });
    QObject::connect(controller, &WdxFirmwareUpdateController::failed, [&failed] { failed = true; });

    engineThread.start();
    int status = 0;
    if (!waitFor([&] { return running.load(); }, 30000)) {
        std::fprintf(stderr, "bench_upload: the request processor did not start\n");
        status = 1;
    } else {
        processor->resume();
        if (!waitFor([&] { return loaded && processor->isConnected(); }, 30000)) {
            std::fprintf(stderr, "bench_upload: no package or no device\n");
            status = 1;
        }
    }

    if (status == 0) {
        V::clearLogs();
        const auto start = std::chrono::steady_clock::now();
        controller->startUploadFirmware(QStringLiteral("AA1"), QStringLiteral("AS1"));
        waitFor([&] { return done || failed; }, 180000);
        const auto end = std::chrono::steady_clock::now();
        if (!done || failed) {
            std::fprintf(stderr, "bench_upload: the upload did not complete (%s)\n",
                         qPrintable(controller->debugMessage()));
            status = 1;
        } else {
            const std::vector<V::WireEntry> log = V::wireLog();
            const double bitTime = double(timing.bitsPerByte) / kBaud;
            double waitS = 0, floorS = 0;
            bool locked = false;
            bool pausing = false;
            V::Clock::time_point pauseStart;
            int requests = 0;
            for (std::size_t i = 0; i < log.size(); ++i) {
                const V::WireEntry &e = log[i];
                if (e.direction != V::Direction::ToDevice || e.kind != V::Kind::Frame)
                    continue;
                if (!locked) {
                    // The handshake ends with the boot-stage lock (Null Command read).
                    if (e.cmd != 0x00 || e.op != 0x00)
                        continue;
                    locked = true;
                    waitS += Seconds(e.begin - start).count();
                }
                // The device's answer to this request, if any, comes before the next request.
                const V::WireEntry *answer = nullptr;
                for (std::size_t j = i + 1; j < log.size(); ++j) {
                    const V::WireEntry &a = log[j];
                    if (a.direction == V::Direction::ToDevice && a.kind == V::Kind::Frame)
                        break;
                    if (a.direction == V::Direction::FromDevice && a.kind == V::Kind::Frame
                        && !a.has(V::Dropped) && !a.has(V::Lost)) {
                        answer = &a;
                        break;
                    }
                }
                if (pausing) {
                    if (!answer)
                        continue; // still waiting for the device: part of the pause
                    waitS += Seconds(e.begin - pauseStart).count();
                    pausing = false;
                }
                ++requests;
                const double tx = double(e.bytes.size()) * bitTime;
                if (isClosing(e)) {
                    floorS += tx;
                    pausing = true;
                    pauseStart = e.end;
                    continue;
                }
                const double rx = answer ? double(answer->bytes.size()) * bitTime : 0.0;
                floorS += std::max(kSpacingS, tx + kLatencyUs / 1e6 + rx);
            }
            const double uploadS = Seconds(end - start).count();
            std::fprintf(stderr, "bench_upload: %d requests after the handshake, %zu wire entries\n", requests,
                         log.size());
            std::printf("upload_s %.3f\n", uploadS);
            std::printf("upload_wait_s %.3f\n", waitS);
            std::printf("upload_floor_s %.3f\n", floorS);
            std::printf("upload_efficiency %.3f\n", floorS / (uploadS - waitS));
        }
    }

    delete controller;
    if (engineThread.isRunning())
        QMetaObject::invokeMethod(processor, "stop", Qt::BlockingQueuedConnection);
    engineThread.wait();
    delete processor;
    return status;
}
