#pragma once

// The request engine and the upload worker on threads of their own against the virtual Wdx,
// as the device controller and the firmware update controller own them in the application.

#include "FirmwareTestSupport.h"
#include "VirtualWdx.h"
#include "firmware/WdxFirmwareWorker.h"
#include "protocol/WdxRequestProcessor.h"

#include <QStringList>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <functional>
#include <mutex>

namespace FirmwareTest {

namespace V = VirtualWdx;

constexpr int kWait = 30000;
constexpr int kMainUploadWait = 90000;

// The request processor on its worker thread (reply time-out 250 ms), connection checks on.
class Engine
{
public:
    Engine() : processor(new WdxRequestProcessor(false))
    {
        processor->setTimeout(250);
        processor->moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, processor, &WdxRequestProcessor::start);
        QObject::connect(processor, &WdxRequestProcessor::finished, &thread, &QThread::quit, Qt::DirectConnection);
        QObject::connect(processor, &WdxRequestProcessor::started, processor, [this] { running = true; },
                         Qt::DirectConnection);
    }
    ~Engine()
    {
        if (thread.isRunning())
            QMetaObject::invokeMethod(processor, "stop", Qt::BlockingQueuedConnection);
        thread.wait();
        delete processor;
    }
    bool start(bool waitConnected = true)
    {
        thread.start();
        if (!QTest::qWaitFor([this] { return running.load(); }, kWait))
            return false;
        processor->resume();
        return !waitConnected || QTest::qWaitFor([this] { return processor->isConnected(); }, kWait);
    }

    QThread thread;
    WdxRequestProcessor *processor;
    std::atomic<bool> running{false};
};

// Records the worker's signals in the order they arrive on the test thread, and when (on the
// simulator's clock) the worker entered each state.
class Recorder : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(WdxFirmwareWorker *worker)
    {
        using W = WdxFirmwareWorker;
        auto note = [this](const char *event) { m_events.append(QLatin1String(event)); };
        connect(worker, &W::stateChanged, this, [this](W::enState s) { m_events << QStringLiteral("state:") + W::stateName(s); });
        connect(worker, &W::stateChanged, worker, [this](W::enState s) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_entered[W::stateName(s)] = V::Clock::now();
        }, Qt::DirectConnection);
        connect(worker, &W::fwFileLoaded, this, [note] { note("fwFileLoaded"); });
        connect(worker, &W::presetUploadStarted, this, [note] { note("presetUploadStarted"); });
        connect(worker, &W::stepDone, this, [this] { ++m_steps; });
        connect(worker, &W::failed, this, [note] { note("failed"); });
        connect(worker, &W::mainFinished, this, [note](int) { note("mainFinished"); });
        connect(worker, &W::dspFinished, this, [note](int) { note("dspFinished"); });
        connect(worker, &W::presetFinished, this, [note](int ms) { note(ms == 0 ? "presetFinished(0)" : "presetFinished"); });
        connect(worker, &W::fwUploadFinished, this, [note] { note("fwUploadFinished"); });
    }
    QStringList events() const { return m_events; }
    QStringList states() const
    {
        QStringList out;
        for (const QString &e : m_events)
            if (e.startsWith(QLatin1String("state:")))
                out << e.mid(6);
        return out;
    }
    bool has(const QString &event) const { return m_events.contains(event); }
    int steps() const { return m_steps; }
    V::Clock::time_point entered(const QString &state) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entered.value(state);
    }
    void clear()
    {
        m_events.clear();
        m_steps = 0;
    }

private:
    QStringList m_events;
    int m_steps = 0;
    mutable std::mutex m_mutex;
    QMap<QString, V::Clock::time_point> m_entered;
};

// An upload worker on its own thread, talking to an Engine.
class WorkerRig
{
public:
    WorkerRig(Engine &engine, bool verifySentBlocks, const QString &file, int waitTickMs)
        : worker(new WdxFirmwareWorker(verifySentBlocks, file)), recorder(worker)
    {
        worker->setRequestProcessor(engine.processor);
        if (waitTickMs > 0)
            worker->setWaitTickMs(waitTickMs);
        worker->moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, worker, &WdxFirmwareWorker::initialize);
        QObject::connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    }
    ~WorkerRig()
    {
        worker->abort();
        thread.quit();
        thread.wait();
    }
    // True once the package is loaded and the worker idles; the recorder starts empty then.
    bool start()
    {
        thread.start();
        const bool ok = QTest::qWaitFor([this] {
            return recorder.has(QStringLiteral("fwFileLoaded")) && recorder.states().contains(QStringLiteral("Idle"));
        }, kWait);
        recorder.clear();
        return ok;
    }
    // One upload, until the worker is back in Idle (the recorder saw it leave and come back).
    bool upload(WdxFirmwareWorker::enFwUploadType type, const QString &mainId = {}, const QString &subId = {},
                int timeoutMs = kWait)
    {
        recorder.clear();
        V::clearLogs();
        worker->uploadFirmware(type, mainId, subId);
        return QTest::qWaitFor([this] {
            const QStringList s = recorder.states();
            return s.size() >= 2 && s.last() == QLatin1String("Idle") && worker->state() == WdxFirmwareWorker::Idle
                && (recorder.has(QStringLiteral("fwUploadFinished")) || recorder.has(QStringLiteral("failed")));
        }, timeoutMs);
    }

    QThread thread;
    WdxFirmwareWorker *worker;
    Recorder recorder;
};

// Frames that reached the device, by CMD, OP and sub-code, and (>= 0) second DATA byte.
inline int countFrames(int cmd, int op, int sub, int second = -1)
{
    int n = 0;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice, cmd, op, sub))
        n += second < 0 || (e.data.size() > 1 && e.data[1] == second);
    return n;
}

inline QByteArray dataOf(const V::WireEntry &e)
{
    return QByteArray(reinterpret_cast<const char *>(e.data.data()), int(e.data.size()));
}

// The frames written to the device as "CMD OP DATA" in hexadecimal, a block write's data cut
// after its id: "01 02 0301".
inline QStringList wireSummary()
{
    QStringList out;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice)) {
        const QByteArray data = dataOf(e);
        const bool block = e.op == 0x02 && e.cmd == 0x01 && (data.startsWith('\x01') || data.startsWith('\x03'));
        out << QStringLiteral("%1 %2 %3").arg(e.cmd, 2, 16, QLatin1Char('0')).arg(e.op, 2, 16, QLatin1Char('0'))
                   .arg(QString::fromLatin1((block ? data.left(2) : data).toHex()));
    }
    return out;
}

// Whether the device holds that image of the package, as the package's bytes say it must.
inline bool deviceHolds(V::ImageKind kind, const ImageBytes &expected)
{
    const V::Image image = V::image(kind);
    QMap<int, QByteArray> blocks;
    for (const auto &b : image.blocks)
        blocks[b.first] = QByteArray(reinterpret_cast<const char *>(b.second.data()), int(b.second.size()));
    return image.present && !expected.blocks.isEmpty() && blocks == expected.blocks && image.size == expected.size
        && QByteArray(reinterpret_cast<const char *>(image.checksum.data()), 4) == expected.checksum;
}

} // namespace FirmwareTest
