// The request engine against the virtual Wdx at zero latency and unlimited baud, so that
// only the engine and the link code are measured.
//
// rtt_per_s, rtt_vs_floor: completed reads per second with the default 10 ms write spacing,
//   and that rate over the floor the spacing allows (100 per second).
// engine_ceiling_per_s, engine_cpu_us_per_request: the same with the spacing at 0, and the
//   process CPU time per completed request (engine, link, logger and the virtual device);
//   the ..._nolog_... figures are the same with the log files off.
// burst_writes, burst_last_value_ms: 1000 output-gain writes posted evenly over one second
//   while the output screen's reads poll at 4 Hz; the writes that reached the wire, and the
//   time from the last post to its value on the wire (median of several bursts; the worst is
//   given as burst_last_value_max_ms).
//
// Logging as the application does by default: files at Debug, here in a temporary folder.

#include "VirtualWdx.h"

#include "BenchSupport.h"

#include "logger/QLoggerManager.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestBuilder.h"
#include "protocol/WdxRequestProcessor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

using namespace WdxRequestBuilder;
namespace V = VirtualWdx;
using SteadyClock = std::chrono::steady_clock;

using namespace Bench;

namespace {

constexpr int kBursts = 5;
constexpr int kBurstWrites = 1000;

struct Throughput
{
    double perSecond = 0;
    double cpuUsPerRequest = 0;
};

Throughput measureReads(WdxRequestProcessor *processor, int warmupMs, int windowMs)
{
    ReadFeeder feeder(processor);
    feeder.start(4);
    spinFor(warmupMs);
    V::clearLogs();
    const int before = feeder.completed;
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    spinFor(windowMs);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double cpu = processCpuSeconds() - cpuBefore;
    const int done = feeder.completed - before;
    feeder.stop();
    spinUntil([&] { return feeder.idle(); }, 5000);
    if (feeder.failed)
        std::fprintf(stderr, "reads not completed: %d\n", feeder.failed);
    // Where the time between two writes goes, for the log.
    std::vector<double> gaps;
    const auto sent = V::frames(V::Direction::ToDevice);
    for (size_t i = 1; i < sent.size(); ++i)
        gaps.push_back(std::chrono::duration<double, std::milli>(sent[i].begin - sent[i - 1].begin).count());
    std::sort(gaps.begin(), gaps.end());
    if (!gaps.empty()) {
        double sum = 0;
        for (double g : gaps)
            sum += g;
        std::fprintf(stderr, "write gaps: mean %.3f ms, median %.3f, p90 %.3f, p99 %.3f, max %.3f ms\n",
                     sum / gaps.size(), gaps[gaps.size() / 2], gaps[gaps.size() * 9 / 10], gaps[gaps.size() * 99 / 100],
                     gaps.back());
    }
    Throughput t;
    t.perSecond = done / seconds;
    t.cpuUsPerRequest = done ? cpu * 1e6 / done : 0;
    return t;
}

struct Burst
{
    int writes = 0;
    double lastValueMs = -1;
};

// Posts kBurstWrites gain writes 1 ms apart from a thread of its own (the user dragging a
// slider), while this thread polls the output screen's reads every 250 ms.
Burst runBurst(WdxRequestProcessor *processor)
{
    QObject owner;
    std::atomic<int> liveWrites{0};
    auto makeRead = [&](const WdxMessageGeneric &message) {
        auto *request = new WdxRequest(message, &owner);
        QObject::connect(request, &WdxRequest::completed, &owner, [request] { request->deleteLater(); });
        if (!processor->postRequest(request, 0) || request->status() == WdxRequest::Merged)
            request->deleteLater();
    };
    QTimer poll;
    poll.setInterval(250);
    QObject::connect(&poll, &QTimer::timeout, &owner, [&] {
        for (const WdxMessageGeneric &m :
             {readOutputGainsMessage(), readOutputDelaysMessage(), readCompressorMessage(0), readCompressorMessage(1),
              readCompressorMessage(2), readOutputPatchMessage(0), readOutputPatchMessage(1), readOutputPatchMessage(2),
              readDeviceInfoMessage(enDeviceInfo_OutputMeters),
              readDeviceInfoMessage(enDeviceInfo_OutputUserCompressorMeters), readSpeakerModeMessage(),
              readDeviceInfoMessage(enDeviceInfo_SecurityInfo)})
            makeRead(m);
    });

    // Each write carries its index in the first two gains, so the last one is recognisable.
    auto gainsOf = [](int i) { return QList<quint8>{quint8(i % 73), quint8(i / 73), 36}; };
    QThread *mainThread = QThread::currentThread();
    SteadyClock::time_point lastPost;
    std::atomic<bool> posted{false};
    V::clearLogs();
    poll.start();
    std::thread slider([&] {
        const auto start = SteadyClock::now();
        for (int i = 0; i < kBurstWrites; ++i) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(1000LL * i));
            auto *request = new WdxRequest(writeOutputGainsMessage(gainsOf(i)));
            request->moveToThread(mainThread);
            QObject::connect(request, &WdxRequest::completed, &owner, [request, &liveWrites] {
                --liveWrites;
                request->deleteLater();
            });
            ++liveWrites;
            if (i == kBurstWrites - 1)
                lastPost = SteadyClock::now();
            if (!processor->postRequest(request, 2) || request->status() == WdxRequest::Merged) {
                --liveWrites;
                request->deleteLater();
            }
        }
        posted = true;
    });
    spinUntil([&] { return posted.load(); }, 10000);
    slider.join();
    spinUntil([&] { return liveWrites.load() == 0; }, 5000);
    poll.stop();
    spinFor(300);

    const QList<quint8> last = gainsOf(kBurstWrites - 1);
    Burst b;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice, 0x01, 0x03, 0x40)) {
        ++b.writes;
        if (e.data.size() == 4 && e.data[1] == last[0] && e.data[2] == last[1])
            b.lastValueMs = std::chrono::duration<double, std::milli>(e.begin - lastPost).count();
    }
    return b;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir logBase;
    QLogger::QLoggerManager::setDefaultLevel(QLogger::Debug);
    QLogger::QLoggerManager::setBasePath(logBase.path());
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);

    V::reset();
    V::setTiming(V::Timing::instant());
    V::plug();

    Engine engine;
    if (!engine.start()) {
        std::fprintf(stderr, "the engine did not connect to the virtual device\n");
        return 0;
    }

    engine.processor->setInterval(WdxRequestProcessor::kDefaultInterval);
    const Throughput rtt = measureReads(engine.processor, 1000, 5000);
    std::printf("rtt_per_s %.1f\n", rtt.perSecond);
    std::printf("rtt_vs_floor %.3f\n", rtt.perSecond / (1000.0 / WdxRequestProcessor::kDefaultInterval));
    std::fflush(stdout);

    engine.processor->setInterval(0);
    const Throughput ceiling = measureReads(engine.processor, 500, 3000);
    std::printf("engine_ceiling_per_s %.1f\n", ceiling.perSecond);
    std::printf("engine_cpu_us_per_request %.1f\n", ceiling.cpuUsPerRequest);
    std::fflush(stdout);

    // The same without log files, to tell the engine's cost from the logger's.
    QLogger::QLoggerManager::setOutputMode(QLogger::LogOff);
    const Throughput quiet = measureReads(engine.processor, 500, 3000);
    QLogger::QLoggerManager::setOutputMode(QLogger::LogFile);
    std::printf("engine_ceiling_nolog_per_s %.1f\n", quiet.perSecond);
    std::printf("engine_cpu_nolog_us_per_request %.1f\n", quiet.cpuUsPerRequest);
    std::fflush(stdout);

    engine.processor->setInterval(WdxRequestProcessor::kDefaultInterval);
    std::vector<double> writes, latencies;
    for (int i = 0; i < kBursts; ++i) {
        const Burst b = runBurst(engine.processor);
        std::fprintf(stderr, "burst %d: %d writes, last value after %.2f ms\n", i, b.writes, b.lastValueMs);
        writes.push_back(b.writes);
        latencies.push_back(b.lastValueMs);
        spinFor(300);
    }
    std::printf("burst_writes %.0f\n", median(writes));
    std::printf("burst_last_value_ms %.2f\n", median(latencies));
    std::printf("burst_last_value_max_ms %.2f\n", *std::max_element(latencies.begin(), latencies.end()));
    return 0;
}
