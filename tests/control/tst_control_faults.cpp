// The device side under load and faults: controllers created and destroyed in a row, a burst
// of edits, and a long polling run against a device that drops, corrupts, splits and
// disappears.

#include "StackRig.h"
#include "VelaTestMain.h"
#include "models/RVEQBand.h"
#include "models/RVEq.h"
#include "models/WdxInputItem.h"
#include "models/WdxInputListModel.h"
#include "models/WdxOutputItem.h"
#include "models/WdxOutputListModel.h"
#include "models/WdxPreProcItem.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <thread>

using namespace ControlTest;

namespace {

int threadCount()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    }
    return -1;
}

// The first difference between what the model shows and what the device holds; empty when
// they agree.
QString difference(WdxModel *m, const V::DeviceState &s)
{
    auto differs = [](const char *what, auto shown, auto held) {
        return shown == held ? QString() : QStringLiteral("%1: model %2, device %3").arg(QLatin1String(what)).arg(shown).arg(held);
    };
    QStringList out;
    out << (m->name() == QString::fromStdString(s.name) ? QString() : QStringLiteral("name"));
    out << (m->mainFwVersion() == QString::fromStdString(s.mainVersion) ? QString() : QStringLiteral("main version"));
    out << differs("locked", int(m->isLocked()), int(s.locked));
    out << differs("mux", m->digitalMux(), int(s.digitalMux));
    out << differs("hw mode", int(m->isHwMode()), int(s.hwMode != 1));
    for (int row = 0; row < 3; ++row) {
        const WdxOutputItem *o = m->getOutput(row);
        out << differs("gain", int(o->gain()), int(s.outputGains[row]));
        out << differs("front panel", int(o->frontPanelGain()), int(s.frontPanelGains[row]));
        out << differs("delay", int(o->delay()), int(s.outputDelays[row]));
        out << differs("output patch", int(o->patch()), int(s.outputPatches[row]));
        out << differs("ratio", int(o->compressionRatio()), int(s.compressors[row].ratio));
        out << differs("decay", int(o->compressionDecay()), int(s.compressors[row].decay));
        out << differs("threshold", int(o->compressionThreshold()), int(s.compressors[row].threshold));
        out << differs("compressor on", int(o->isCustomCompressionEnabled()), int(s.compressors[row].enabled));
        out << differs("variant", int(o->speakerVariant()), int(row == 1 ? s.subMode : s.mainMode));
        out << (o->speakerId() == QString::fromStdString(row == 1 ? s.subPreset : s.mainPreset) ? QString()
                                                                                                : QStringLiteral("preset"));
    }
    for (int channel = 0; channel < 2; ++channel) {
        const WdxPreProcItem *p = m->getPreProc(channel);
        out << differs("input patch", int(p->patchValue()), int(s.preProcessingPatches[channel]));
        out << differs("eq on", int(p->eq()->isEnabled()), int(s.eqs[channel].enabled));
        for (int b = 0; b < 8; ++b) {
            const RVEQBand *band = p->getEqBand(b);
            const V::EqBand &held = s.eqs[channel].bands[b];
            out << differs("band frequency", int(band->frequency()), int(held.frequency));
            out << differs("band gain", int(band->gain()), int(held.gain));
            out << differs("band Q", int(band->qualityFactor()), int(held.qualityFactor));
            out << differs("band used", int(band->isUsed()), int((held.control & 0x80) != 0));
        }
    }
    out.removeAll(QString());
    return out.join(QStringLiteral("; "));
}

} // namespace

class TestControlFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLogger::QLoggerManager::setOutputMode(QLogger::LogOff); }
    void createStartDestroy();
    void gainBurst();
    void faultRun();
};

// Fifty controllers in a row, each started against the device and destroyed while it talks:
// every thread joined, nothing left behind, never a hang.
void TestControlFaults::createStartDestroy()
{
    V::reset();
    V::setTiming(V::Timing::instant());
    V::plug();
    const int threadsBefore = threadCount();
    for (int round = 0; round < 50; ++round) {
        auto *controller = new WdxController;
        std::atomic<bool> running{false};
        QObject::connect(controller->processor(), &WdxRequestProcessor::started, controller->processor(),
                         [&running] { running = true; }, Qt::DirectConnection);
        controller->start();
        QVERIFY(QTest::qWaitFor([&] { return running.load(); }, kWait));
        controller->processor()->resume();
        // Every other round waits for the connection and leaves reads in flight.
        if (round % 2 == 0) {
            QVERIFY(QTest::qWaitFor([&] { return controller->processor()->isConnected(); }, kWait));
            controller->deviceInfo()->readDeviceName();
            controller->gains()->writeOutputGains({1, 2, 3});
        }
        delete controller;
        flushDeferredDeletes();
    }
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, kWait);
    V::reset();
}

// A thousand gain edits within a second: the device ends with the last, the model shows it.
void TestControlFaults::gainBurst()
{
    FakeClock clock;
    StackRig rig;
    QVERIFY(rig.start());
    clock.advance(10 * WdxOutputItem::kEditGuardMs);
    V::clearLogs();

    QElapsedTimer elapsed;
    elapsed.start();
    quint8 last = 0;
    for (int i = 0; i < 1000; ++i) {
        last = quint8(i % 73);
        rig.model->outputList()->setGain(0, last);
        QCoreApplication::processEvents();
        const qint64 due = (i + 1) * 1000000LL; // one edit per millisecond
        const qint64 early = due - elapsed.nsecsElapsed();
        if (early > 0)
            std::this_thread::sleep_for(std::chrono::nanoseconds(early));
    }
    QVERIFY(rig.settle());
    QCOMPARE(int(V::state().outputGains[0]), int(last));
    QCOMPARE(int(rig.model->getOutput(0)->gain()), int(last));
    // Merged while waiting: far fewer writes than edits, each spaced as the engine spaces them.
    const int writes = int(V::frames(V::Direction::ToDevice, 0x01, 0x03).size());
    QVERIFY2(writes < 1000, qPrintable(QString::number(writes)));
    // Spaced on the wire too: a loaded machine may hold a write up now and then, a missing
    // spacing would crowd nearly every frame.
    const int frames = int(V::frames(V::Direction::ToDevice).size());
    QVERIFY2(V::crowdedFrames() * 2 <= frames,
             qPrintable(QStringLiteral("%1 of %2 frames crowded").arg(V::crowdedFrames()).arg(frames)));
    clock.advance(10 * WdxOutputItem::kEditGuardMs);
    rig.controller->gains()->readOutputGains();
    QVERIFY(rig.settle());
    QCOMPARE(int(rig.model->getOutput(0)->gain()), int(last));
}

// About 30 s of polling every family every 250 ms against a faulty device that is unplugged
// and plugged back twice, while the device's own values change.
void TestControlFaults::faultRun()
{
    FakeClock clock;
    StackRig rig;
    QVERIFY(rig.start());
    clock.advance(10 * WdxOutputItem::kEditGuardMs);
    const int eqChildrenBefore = rig.eqChildren();
    QSignalSpy connection(rig.model, &WdxModel::isConnectedChanged);

    V::Faults faults;
    faults.seed = 7;
    faults.dropReply = 0.10;
    faults.corruptChecksum = 0.05;
    faults.splitReply = 0.05;
    faults.splitGapMs = 20;
    faults.noise = 0.05;
    V::setFaults(faults);

    QTimer poll;
    poll.setInterval(250);
    QObject::connect(&poll, &QTimer::timeout, [&rig] { rig.readAll(); });
    poll.start();

    QElapsedTimer run;
    run.start();
    int step = 0;
    while (run.elapsed() < 30000) {
        QTest::qWait(500);
        ++step;
        // The device's values move on their own (front panel, another application).
        V::update([step](V::DeviceState &s) {
            s.outputGains[step % 3] = std::uint8_t((step * 7) % 73);
            s.outputDelays[step % 3] = std::uint16_t((step * 97) % 2281);
            s.compressors[step % 3].threshold = std::uint8_t((step * 11) % 121);
            s.eqs[step % 2].bands[step % 8] = V::EqBand{std::uint8_t(0xc0 | (step % 7)), std::uint8_t(step % 121),
                                                        std::uint8_t(step % 73), std::uint8_t(step % 41)};
            s.preProcessingPatches[step % 2] = std::uint8_t(step % 64);
            s.mainMode = std::uint8_t(step % 3);
            s.digitalMux = std::uint8_t(step % 4);
        });
        if (step == 20 || step == 40)
            V::replugAfter(1500);
    }
    V::setFaults(V::Faults());
    // Two poll cycles after the faults stop, plus the time the queue takes to drain.
    QTRY_VERIFY_WITH_TIMEOUT(rig.model->isConnected(), kWait);
    QCOMPARE(connection.count(), 4); // unplugged and back, twice
    QTest::qWait(500);
    QTRY_COMPARE_WITH_TIMEOUT(difference(rig.model, V::state()), QString(), 5000);
    poll.stop();
    QVERIFY(rig.settle());
    flushDeferredDeletes();
    QCOMPARE(rig.pendingRequests(), 0);
    QCOMPARE(rig.eqChildren(), eqChildrenBefore);
}

VELA_TEST_MAIN_CORE(TestControlFaults)
#include "tst_control_faults.moc"
