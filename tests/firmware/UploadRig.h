#pragma once

// The request engine and the upload worker on threads of their own against the virtual Wdx,
// as the device controller and the firmware update controller own them in the application.

#include "VirtualWdx.h"
#include "firmware/WdxFirmware.h"
#include "firmware/WdxFirmwareWorker.h"
#include "protocol/WdxRequestProcessor.h"

#include <QStringList>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <thread>

namespace FirmwareTest {

namespace V = VirtualWdx;

constexpr int kWait = 30000;
// A main upload waits (89 / 6) s for the device to apply its image, plus the handshake.
constexpr int kMainUploadWait = 60000;

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
        stop();
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
    void stop()
    {
        if (thread.isRunning())
            QMetaObject::invokeMethod(processor, "stop", Qt::BlockingQueuedConnection);
        thread.wait();
    }

    QThread thread;
    WdxRequestProcessor *processor;
    std::atomic<bool> running{false};
};

// Records the worker's signals in the order they arrive on the test thread.
class Recorder : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(WdxFirmwareWorker *worker)
    {
        using W = WdxFirmwareWorker;
        auto note = [this](const QString &event) { m_events.append(event); };
        connect(worker, &W::stateChanged, this, [note](W::enState s) { note(QStringLiteral("state:") + W::stateName(s)); });
        connect(worker, &W::fwFileLoaded, this, [note] { note(QStringLiteral("fwFileLoaded")); });
        connect(worker, &W::mainUploadStarted, this, [note] { note(QStringLiteral("mainUploadStarted")); });
        connect(worker, &W::dspUploadStarted, this, [note] { note(QStringLiteral("dspUploadStarted")); });
        connect(worker, &W::presetUploadStarted, this, [note] { note(QStringLiteral("presetUploadStarted")); });
        connect(worker, &W::stepDone, this, [this] { ++m_steps; });
        connect(worker, &W::deviceLockedOnBoot, this, [note] { note(QStringLiteral("deviceLockedOnBoot")); });
        connect(worker, &W::failed, this, [note] { note(QStringLiteral("failed")); });
        connect(worker, &W::mainFinished, this, [note](int) { note(QStringLiteral("mainFinished")); });
        connect(worker, &W::dspFinished, this, [note](int) { note(QStringLiteral("dspFinished")); });
        connect(worker, &W::presetFinished, this, [note](int ms) {
            note(ms == 0 ? QStringLiteral("presetFinished(0)") : QStringLiteral("presetFinished"));
        });
        connect(worker, &W::fwUploadFinished, this, [note] { note(QStringLiteral("fwUploadFinished")); });
    }
    QStringList events() const { return m_events; }
    QStringList states() const
    {
        QStringList out;
        for (const QString &e : m_events) {
            if (e.startsWith(QLatin1String("state:")))
                out << e.mid(6);
        }
        return out;
    }
    bool has(const QString &event) const { return m_events.contains(event); }
    int steps() const { return m_steps; }
    void clear()
    {
        m_events.clear();
        m_steps = 0;
    }

private:
    QStringList m_events;
    int m_steps = 0;
};

// An upload worker on its own thread, talking to an Engine.
class WorkerRig
{
public:
    explicit WorkerRig(Engine &engine, bool verifySentBlocks = false,
                       const QString &file = QStringLiteral(":/FirmwareUpdate/WDX_firmware.rvf"), int waitTickMs = 0)
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
    // Starts the thread; true once the package is loaded and the worker idles.
    bool start()
    {
        thread.start();
        // The recorder must have seen Idle too: a test clears it next, and a late event would
        // look like part of the next upload.
        return QTest::qWaitFor([this] { return recorder.has(QStringLiteral("fwFileLoaded"))
                                               && recorder.states().contains(QStringLiteral("Idle")); },
                               kWait);
    }
    // Waits until the worker is back in Idle after an upload began (the recorder saw it leave).
    bool waitIdle(int timeoutMs = kWait)
    {
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

// Calls a check in a loop on a thread of its own while the test waits, until it returns true:
// reacts to the wire within a fraction of a millisecond, whatever the test thread does.
class WireWatch
{
public:
    explicit WireWatch(std::function<bool()> step)
        : m_thread([this, step] {
              while (!m_stop.load() && !step())
                  std::this_thread::sleep_for(std::chrono::microseconds(200));
              m_done.store(true);
          })
    {
    }
    ~WireWatch()
    {
        m_stop.store(true);
        m_thread.join();
    }
    bool done() const { return m_done.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Frames that reached the device (or left it), by CMD, OP and sub-code.
inline int countFrames(V::Direction d, int cmd, int op, int sub, std::function<bool(const V::WireEntry &)> extra = {})
{
    int n = 0;
    for (const V::WireEntry &e : V::frames(d, cmd, op, sub))
        n += (!extra || extra(e)) ? 1 : 0;
    return n;
}

// A section of the embedded package, read on its own: its blocks as the device must hold them
// (by id cut to 8 bits), payload size and image checksum.
struct PackageImage
{
    std::map<std::uint8_t, V::Bytes> blocks;
    quint32 payloadSize = 0;
    QByteArray checksum;
    quint32 totalBlocks = 0;
};

inline PackageImage packageImage(const QByteArray &package, const QString &target, const QString &presetId = QString())
{
    const QRawData bytes(package);
    int pos = 0;
    while (pos + 8 <= package.size()) {
        WdxFirmware fw;
        if (!fw.load(bytes, pos))
            break;
        const QMap<quint32, QRawData> first = fw.blocks();
        const QString id = first.isEmpty() ? QString() : first.first().toText(0, 3);
        if (fw.target() == target && (presetId.isEmpty() || id == presetId)) {
            PackageImage image;
            fw.parseAllBlocks();
            const QMap<quint32, QRawData> blocks = fw.blocks();
            for (auto it = blocks.constBegin(); it != blocks.constEnd(); ++it) {
                const QByteArray b = it.value().toByteArray();
                image.blocks[std::uint8_t(it.key())] = V::Bytes(b.begin(), b.end());
            }
            image.payloadSize = fw.payloadSize();
            image.checksum = fw.imageChecksum().toByteArray();
            image.totalBlocks = fw.totalBlocks();
            return image;
        }
        pos += fw.dataSize() + 8;
    }
    return PackageImage();
}

} // namespace FirmwareTest
