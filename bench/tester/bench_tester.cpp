// The protocol tester's loop against the virtual Wdx at zero latency and unlimited baud, next
// to the request engine's own round-trip figure measured the same way in the same run.
//
// rtt_per_s (to the log only; the engine benchmark prints the key): completed reads per
//   second with four reads always waiting and the default 10 ms write spacing, measured as the
//   engine benchmark measures it.
// tester_requests_per_s: requests the tester's loop completes per second (answered, timed out
//   or failed), one request out at a time, posting the next from the completion handler.
// tester_vs_rtt: the loop's rate over the engine's.
//
// Rounds alternate between the two so that the machine's noise falls on both alike; the
// figures are the medians. Logging as the application does by default: files at Debug.

#include "VirtualWdx.h"

#include "BenchSupport.h"

#include "logger/QLoggerManager.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestBuilder.h"
#include "protocol/WdxRequestProcessor.h"
#include "tester/WdxProtocolTester.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <vector>

using namespace WdxRequestBuilder;
namespace V = VirtualWdx;

using namespace Bench;

namespace {

constexpr int kRounds = 3;
constexpr int kWarmupMs = 500;
constexpr int kWindowMs = 3000;

double measureReads(WdxRequestProcessor *processor)
{
    ReadFeeder feeder(processor);
    feeder.start(4);
    spinFor(kWarmupMs);
    const int before = feeder.completed;
    QElapsedTimer clock;
    clock.start();
    spinFor(kWindowMs);
    const double rate = (feeder.completed - before) / (clock.nsecsElapsed() / 1e9);
    feeder.stop();
    spinUntil([&] { return feeder.idle(); }, 5000);
    return rate;
}

quint64 finished(const WdxProtocolTester &tester)
{
    return tester.succeededCount() + tester.timeoutCount() + tester.errorCount();
}

double measureTester(WdxRequestProcessor *processor)
{
    WdxProtocolTester tester;
    tester.setRequestProcessor(processor);
    tester.startTest();
    spinFor(kWarmupMs);
    const quint64 before = finished(tester);
    QElapsedTimer clock;
    clock.start();
    spinFor(kWindowMs);
    const double rate = double(finished(tester) - before) / (clock.nsecsElapsed() / 1e9);
    if (tester.timeoutCount() || tester.errorCount())
        std::fprintf(stderr, "tester: %llu timeouts, %llu errors\n", tester.timeoutCount(), tester.errorCount());
    tester.stopTest();
    // The request that was out when the loop stopped must be finished before its owner goes.
    spinUntil([&] {
        for (WdxRequest *request : tester.findChildren<WdxRequest *>()) {
            if (!request->isCompleted() && !(request->status() == WdxRequest::Idle && processor->waitingCount() == 0))
                return false;
        }
        return true;
    }, 5000);
    spinFor(50);
    return rate;
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

    std::vector<double> rtt, loop;
    for (int round = 0; round < kRounds; ++round) {
        rtt.push_back(measureReads(engine.processor));
        loop.push_back(measureTester(engine.processor));
        std::fprintf(stderr, "round %d: rtt %.1f/s, tester %.1f/s\n", round, rtt.back(), loop.back());
    }
    const double rttRate = median(rtt);
    const double loopRate = median(loop);
    // The engine benchmark owns the rtt_per_s key; this run's figure goes to the log.
    std::fprintf(stderr, "rtt_per_s in this run %.1f\n", rttRate);
    std::printf("tester_requests_per_s %.1f\n", loopRate);
    std::printf("tester_vs_rtt %.3f\n", rttRate > 0 ? loopRate / rttRate : 0.0);
    return 0;
}
