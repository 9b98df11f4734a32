// The scene's test documents: each tst_*.qml of this folder loads the real scene on the real
// device side, in-process, against the virtual Wdx, and drives it with mouse and key events.
// Every document gets a fresh device side and a freshly plugged virtual Wdx in its factory
// state. Any warning fails the run.
//
// VELA_SCENE_DIR=<resources folder> loads the documents from disk instead of the built-in
// resources, so a scene edit can be tried without a rebuild.

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
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>
#include <QtQuickTest>

namespace V = VirtualWdx;

namespace {

QVariantList list(const V::Bytes &bytes)
{
    QVariantList out;
    for (std::uint8_t b : bytes)
        out.append(int(b));
    return out;
}

template <typename Array>
QVariantList list(const Array &values)
{
    QVariantList out;
    for (auto v : values)
        out.append(int(v));
    return out;
}

} // namespace

// What the documents see of the virtual Wdx, as the context property "virtualWdx".
class VirtualWdxProbe : public QObject
{
    Q_OBJECT
public:
    explicit VirtualWdxProbe(WdxManager *manager) : m_manager(manager) {}

    // --- The cable and the device's life ---
    Q_INVOKABLE void plug() { V::plug(); }
    Q_INVOKABLE void unplug() { V::unplug(); }
    Q_INVOKABLE void reboot() { V::reboot(); }
    Q_INVOKABLE void setBootLoaderFault(bool on)
    {
        V::Faults f = V::faults();
        f.bootLoaderFault = on;
        V::setFaults(f);
    }
    // "Device status" reads never answered: the walk waits in CheckStatus.
    Q_INVOKABLE void setSilentStatus(bool on)
    {
        V::Faults f = V::faults();
        f.silentStatus = on;
        V::setFaults(f);
    }
    // No baud limit, no latency, short restarts: a firmware upload in seconds.
    Q_INVOKABLE void setInstantTiming() { V::setTiming(V::Timing::instant()); }
    Q_INVOKABLE void setWaitForMainInterval(int ms) { m_manager->stateMachine()->setWaitForMainInterval(ms); }
    Q_INVOKABLE QString recoveryCode() const { return WdxModel::recoveryCode(QString::fromStdString(V::state().serial)); }
    // As if the update server had answered.
    Q_INVOKABLE void setOnlineVersion(const QString &version) { m_manager->model()->updateOnlineApplicationVersion(version); }

    // --- Device values ---
    Q_INVOKABLE void setLocked(bool locked, const QString &pin)
    {
        V::update([&](V::DeviceState &s) {
            s.locked = locked;
            s.pin = pin.toStdString();
        });
    }
    // The mode switch: hardware mode when set.
    Q_INVOKABLE void setHwMode(bool hardware)
    {
        V::update([&](V::DeviceState &s) { s.hwMode = hardware ? 0 : 1; });
    }
    // Name "WDX-T-N 004217": type code, blank, serial. The type decides which families exist.
    Q_INVOKABLE void setName(const QString &name)
    {
        V::update([&](V::DeviceState &s) {
            s.name = name.toStdString();
            s.type = name.left(7).toStdString();
            s.serial = name.right(6).toStdString();
        });
    }
    Q_INVOKABLE void setVersions(const QString &main, const QString &dsp)
    {
        V::update([&](V::DeviceState &s) {
            s.mainVersion = main.toStdString();
            s.dspVersion = dsp.toStdString();
        });
    }
    // Adds an enabled band (type, frequency, gain and Q device values) to a pre-processing EQ.
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
        QVariantMap m;
        m["name"] = QString::fromStdString(s.name);
        m["locked"] = s.locked;
        m["pin"] = QString::fromStdString(s.pin);
        m["hwMode"] = int(s.hwMode);
        m["outputGains"] = list(s.outputGains);
        m["frontPanelGains"] = list(s.frontPanelGains);
        m["outputDelays"] = list(s.outputDelays);
        m["preProcessingPatches"] = list(s.preProcessingPatches);
        m["outputPatches"] = list(s.outputPatches);
        QVariantList eqs;
        for (const V::Eq &eq : s.eqs) {
            QVariantList bands;
            for (const V::EqBand &b : eq.bands)
                bands.append(QVariantMap{{"control", int(b.control)}, {"type", b.control & 0x3F},
                                         {"enabled", bool(b.control & 0x40)}, {"used", bool(b.control & 0x80)},
                                         {"frequency", int(b.frequency)}, {"gain", int(b.gain)},
                                         {"q", int(b.qualityFactor)}});
            eqs.append(QVariantMap{{"enabled", eq.enabled}, {"bands", bands}});
        }
        m["eqs"] = eqs;
        QVariantList compressors;
        for (const V::Compressor &c : s.compressors)
            compressors.append(QVariantMap{{"ratio", int(c.ratio)}, {"decay", int(c.decay)},
                                           {"threshold", int(c.threshold)}, {"enabled", c.enabled}});
        m["compressors"] = compressors;
        m["mainPreset"] = QString::fromStdString(s.mainPreset);
        m["subPreset"] = QString::fromStdString(s.subPreset);
        m["mainMode"] = int(s.mainMode);
        m["subMode"] = int(s.subMode);
        m["digitalMux"] = int(s.digitalMux);
        m["mainVersion"] = QString::fromStdString(s.mainVersion);
        return m;
    }

    // --- Wire log ---
    // DATA of every write frame that reached the device with this OP (and first DATA byte,
    // -1 any), oldest first.
    Q_INVOKABLE QVariantList writes(int op, int subCode = -1) const { return frames(0x01, op, subCode); }
    Q_INVOKABLE QVariantList reads(int op, int subCode = -1) const { return frames(0x00, op, subCode); }
    Q_INVOKABLE QVariantList frames(int cmd, int op, int subCode) const
    {
        QVariantList out;
        for (const V::WireEntry &e : V::frames(V::Direction::ToDevice, cmd, op, subCode))
            out.append(QVariant(list(e.data)));
        return out;
    }
    Q_INVOKABLE void clearLogs() { V::clearLogs(); }

private:
    WdxManager *m_manager;
};

class Setup : public QObject
{
    Q_OBJECT
public:
    ~Setup() override { release(); }

    void release()
    {
        delete m_tester;
        m_tester = nullptr;
        delete m_probe;
        m_probe = nullptr;
        delete m_manager;
        m_manager = nullptr;
    }

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        UiWarningGuard::install();
        QLogger::QLoggerManager::setOutputMode(qEnvironmentVariableIsSet("SCENE_LOG") ? QLogger::LogConsole
                                                                                       : QLogger::LogOff);
        release();
        V::reset();
        V::plug();
        m_manager = new WdxManager;
        m_probe = new VirtualWdxProbe(m_manager);

        const QByteArray sceneDir = qgetenv("VELA_SCENE_DIR");
        const QUrl sceneRoot = sceneDir.isEmpty()
            ? QUrl(QStringLiteral("qrc:/"))
            : QUrl::fromLocalFile(QDir(QString::fromLocal8Bit(sceneDir)).absolutePath() + QLatin1Char('/'));

        QQmlContext *context = engine->rootContext();
        WdxController *controller = m_manager->controller();
        context->setContextProperty(QStringLiteral("devicePixelRatio"), 1.0);
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

        // --- The protocol tester, as the application root creates it ---
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
