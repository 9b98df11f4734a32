// Each tst_*.qml of this folder drives the real scene, on a fresh device side against a freshly
// plugged virtual Wdx, with mouse and key events. Any warning fails the run. VELA_SCENE_DIR=<the
// resources folder> loads the scene from disk, so a scene edit can be tried without a rebuild.

#include "UiWarningGuard.h"
#include "VelaTestMain.h"
#include "VirtualWdx.h"

#include "app/WdxManager.h"
#include "control/WdxController.h"
#include "control/WdxController_SecuritySettings.h"
#include "control/WdxStateMachine.h"
#include "firmware/WdxFirmwareDb.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "speakers/RVSpeakerDB.h"
#include "logger/QLoggerManager.h"
#include "models/WdxModel.h"
#include "protocol/WdxRequestProcessor.h"
#include "tester/WdxProtocolTester.h"

#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

#include <utility>

namespace V = VirtualWdx;

template <typename Array>
static QVariantList list(const Array &values)
{
    QVariantList out;
    for (auto v : values)
        out.append(int(v));
    return out;
}

// What the documents see of the virtual Wdx, as the context property "virtualWdx".
class VirtualWdxProbe : public QObject
{
    Q_OBJECT
public:
    explicit VirtualWdxProbe(WdxManager *manager) : m_manager(manager) {}

    Q_INVOKABLE void plug() { V::plug(); }
    Q_INVOKABLE void unplug() { V::unplug(); }
    Q_INVOKABLE void setBootLoaderFault(bool on) { setFault(&V::Faults::bootLoaderFault, on); }
    // "Device status" reads never answered: the walk waits in CheckStatus.
    Q_INVOKABLE void setSilentStatus(bool on) { setFault(&V::Faults::silentStatus, on); }
    Q_INVOKABLE void setWaitForMainInterval(int ms) { m_manager->stateMachine()->setWaitForMainInterval(ms); }
    Q_INVOKABLE QString recoveryCode() const { return WdxModel::recoveryCode(QString::fromStdString(V::state().serial)); }
    // As if the update server had answered.
    Q_INVOKABLE void setOnlineVersion(const QString &version) { m_manager->model()->updateOnlineApplicationVersion(version); }

    Q_INVOKABLE void setLocked(bool on, const QString &pin)
    {
        V::update([&](V::DeviceState &s) { s.locked = on; s.pin = pin.toStdString(); });
    }
    // The mode switch: hardware mode when set.
    Q_INVOKABLE void setHwMode(bool hardware) { V::update([&](V::DeviceState &s) { s.hwMode = hardware ? 0 : 1; }); }
    Q_INVOKABLE void setVersions(const QString &v)
    {
        V::update([&](V::DeviceState &s) { s.mainVersion = s.dspVersion = v.toStdString(); });
    }
    // An enabled band (type, frequency, gain and Q device values) in a pre-processing EQ.
    Q_INVOKABLE void setEqBand(int channel, int band, int type, int frequency, int gain, int q)
    {
        V::update([&](V::DeviceState &s) {
            s.eqs[channel].enabled = true;
            s.eqs[channel].bands[band] = {std::uint8_t(0xC0 | type), std::uint8_t(frequency), std::uint8_t(gain),
                                          std::uint8_t(q)};
        });
    }

    Q_INVOKABLE QVariantMap state() const
    {
        const V::DeviceState s = V::state();
        QVariantList eqs;
        for (const V::Eq &eq : s.eqs) {
            QVariantList bands;
            for (const V::EqBand &b : eq.bands)
                bands.append(QVariantMap{{"type", b.control & 0x3F}, {"used", bool(b.control & 0x80)},
                                         {"frequency", int(b.frequency)}, {"gain", int(b.gain)},
                                         {"q", int(b.qualityFactor)}});
            eqs.append(QVariantMap{{"enabled", eq.enabled}, {"bands", bands}});
        }
        QVariantList compressors;
        for (const V::Compressor &c : s.compressors)
            compressors.append(QVariantMap{{"ratio", int(c.ratio)}, {"decay", int(c.decay)},
                                           {"threshold", int(c.threshold)}, {"enabled", c.enabled}});
        return {{"locked", s.locked}, {"pin", QString::fromStdString(s.pin)}, {"outputGains", list(s.outputGains)},
                {"outputDelays", list(s.outputDelays)}, {"preProcessingPatches", list(s.preProcessingPatches)},
                {"outputPatches", list(s.outputPatches)}, {"eqs", eqs}, {"compressors", compressors},
                {"mainPreset", QString::fromStdString(s.mainPreset)}, {"subPreset", QString::fromStdString(s.subPreset)},
                {"mainMode", int(s.mainMode)}, {"digitalMux", int(s.digitalMux)},
                {"mainVersion", QString::fromStdString(s.mainVersion)}};
    }

    // DATA of the writes with this OP and first DATA byte (-1: any) that reached the device.
    Q_INVOKABLE QVariantList writes(int op, int subCode = -1) const
    {
        QVariantList out;
        for (const V::WireEntry &e : V::frames(V::Direction::ToDevice, 0x01, op, subCode))
            out.append(QVariant(list(e.data)));
        return out;
    }
    Q_INVOKABLE int readCount() const { return int(V::frames(V::Direction::ToDevice, 0x00).size()); }
    Q_INVOKABLE void clearLogs() { V::clearLogs(); }

private:
    void setFault(bool V::Faults::*fault, bool on)
    {
        V::Faults f = V::faults();
        f.*fault = on;
        V::setFaults(f);
    }

    WdxManager *m_manager;
};

class Setup : public QObject
{
    Q_OBJECT
public:
    ~Setup() override { release(); }
    void release()
    {
        delete std::exchange(m_tester, nullptr);
        delete std::exchange(m_probe, nullptr);
        delete std::exchange(m_manager, nullptr);
    }

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        UiWarningGuard::install();
        QLogger::QLoggerManager::setOutputMode(qEnvironmentVariableIsSet("SCENE_LOG") ? QLogger::LogConsole
                                                                                       : QLogger::LogOff);
        release();
        V::reset();
        // No baud limit, no latency, short restarts: the scene's wiring is under test here, not
        // the line, and uploads take seconds instead of minutes.
        V::setTiming(V::Timing::instant());
        V::plug();
        m_manager = new WdxManager;
        m_probe = new VirtualWdxProbe(m_manager);

        const QString sceneDir = qEnvironmentVariable("VELA_SCENE_DIR");
        const QUrl sceneRoot = sceneDir.isEmpty() ? QUrl(QStringLiteral("qrc:/"))
                                                  : QUrl::fromLocalFile(QDir(sceneDir).absolutePath() + QLatin1Char('/'));

        QQmlContext *context = engine->rootContext();
        WdxController *controller = m_manager->controller();
        context->setContextProperty(QStringLiteral("devicePixelRatio"), 1.0);
        // Slides and fades at a tenth of their length: the documents wait for each one.
        context->setContextProperty(QStringLiteral("animationScale"), 0.1);
        context->setContextProperty(QStringLiteral("wdx"), m_manager->model());
        context->setContextProperty(QStringLiteral("speakerDb"), m_manager->speakerDb());
        context->setContextProperty(QStringLiteral("securityTool"), controller->security());
        context->setContextProperty(QStringLiteral("firmwareUpdater"), controller->firmwareUpdateController());
        context->setContextProperty(QStringLiteral("firmwareDb"), m_manager->firmwareDb());
        context->setContextProperty(QStringLiteral("applicationFont"), QStringLiteral("Segoe UI"));
        context->setContextProperty(QStringLiteral("isFirstUse"), false);
        context->setContextProperty(QStringLiteral("sceneRoot"), sceneRoot);
        context->setContextProperty(QStringLiteral("virtualWdx"), m_probe);
        context->setContextProperty(QStringLiteral("warningGuard"), &m_guard);
        // The protocol tester, as the application root creates it.
        m_tester = new WdxProtocolTester;
        m_tester->setRequestProcessor(controller->processor());
        context->setContextProperty(QStringLiteral("protocolTester"), m_tester);
    }

private:
    WdxManager *m_manager = nullptr;
    VirtualWdxProbe *m_probe = nullptr;
    WdxProtocolTester *m_tester = nullptr;
    WarningGuard m_guard;
};

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt5XmlPatterns.so\n";
}

int main(int argc, char **argv)
{
    VelaTest::isolateUserFolders();
    WdxManager::setVersionCheckUrl(QString());
    Setup setup;
    const int failed = quick_test_main_with_setup(argc, argv, "tst_ui_scene", QUICK_TEST_SOURCE_DIR, &setup);
    UiWarningGuard::detach();
    setup.release();
    return UiWarningGuard::verdict(failed);
}

#include "tst_ui_scene.moc"
