// vela-demo: the application on a virtual Wdx, for anyone without a device at hand. One bridge
// is plugged in at start-up, the device holds a plausible set-up and its meters move. A scenario
// picks what the device is like, so that every screen of the application can be seen.

#include "VirtualWdx.h"

#include "app/VelaApplication.h"
#include "app/VelaManager.h"
#include "app/WdxManager.h"
#include "models/WdxModel.h"

#include "control/WdxStateMachine.h"

#include <QDir>
#include <QQuickItem>
#include <QQuickView>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {
VirtualWdx::EqBand band(std::uint8_t type, std::uint8_t frequency, std::uint8_t gain, std::uint8_t q)
{
    return {std::uint8_t(0xC0 | type), frequency, gain, q};   // used and enabled
}

void setUpShow(VirtualWdx::DeviceState &s)
{
    constexpr std::uint8_t highPass = 2, bell = 1, highShelf = 4;
    s.outputGains = {{40, 34, 40}};
    s.frontPanelGains = {{52, 44, 52}};
    s.outputDelays = {{0, 30, 0}};
    s.preProcessingPatches = {{0x05, 0x0A}};
    s.eqs[0].enabled = true;
    s.eqs[0].bands[0] = band(highPass, 12, 36, 23);   // 40 Hz
    s.eqs[0].bands[1] = band(bell, 44, 30, 17);       // 250 Hz, -3 dB
    s.eqs[0].bands[2] = band(highShelf, 104, 40, 23); // 8 kHz, +2 dB
    s.eqs[1].enabled = true;
    s.eqs[1].bands[0] = band(highPass, 12, 36, 23);
    s.eqs[1].bands[1] = band(bell, 80, 32, 14);       // 2 kHz, -2 dB
    s.compressors[0] = {3, 2, 108, true};
    s.compressors[1] = {5, 2, 96, true};
    s.compressors[2] = {3, 2, 108, true};
    s.mainMode = 1;
    s.metersMoving = true;
}

struct Scenario
{
    const char *name;
    const char *description;
    std::function<void()> prepare;
};

const char kPin[] = "1234";
bool s_plugAtStart = true;

std::vector<Scenario> scenarios()
{
    namespace V = VirtualWdx;
    return {
        {"normal", "a Wdx in its usual state: the walk ends polling", [] {}},
        {"locked", "a Wdx locked with the PIN 1234: unlock it from the lock screen",
         [] { V::update([](V::DeviceState &s) { s.locked = true; s.pin = kPin; }); }},
        {"update", "firmware older than the package's: the application asks for the update and runs it",
         [] {
             V::update([](V::DeviceState &s) {
                 s.mainVersion = "1.90";
                 s.dspVersion = "1.90";
             });
         }},
        {"bootloader", "a Wdx stuck in its boot loader: after 30 s the recovery screen; an update cures it",
         [] {
             V::Faults f;
             f.bootLoaderFault = true;
             V::setFaults(f);
         }},
        {"offline", "no Wdx plugged in: the main screen as it waits for one", [] { s_plugAtStart = false; }},
        {"loading", "a Wdx that never answers its status: the application waits on it",
         [] {
             V::Faults f;
             f.silentStatus = true;
             V::setFaults(f);
         }},
        {"faults", "a poor link: lost, corrupt, split and noisy answers, and an unplug now and then",
         [] {
             V::Faults f;
             f.seed = 42;
             f.dropReply = 0.05;
             f.corruptChecksum = 0.02;
             f.splitReply = 0.05;
             f.noise = 0.05;
             f.unplugAfterFrames = 600;
             f.replugAfterMs = 2000;
             V::setFaults(f);
         }},
    };
}

void printHelp()
{
    std::printf("Usage: vela-demo [SCENARIO] [--puk] [--help]\n\n"
                "Runs Vela on a virtual Wdx (no device needed).\n\nScenarios:\n");
    for (const Scenario &s : scenarios())
        std::printf("  %-11s %s\n", s.name, s.description);
    std::printf("\n  --puk       print the recovery code of the virtual Wdx and exit\n"
                "  --exit-when-polling\n"
                "              quit once the device is being polled (a start-up check)\n"
                "  --show WHAT open a screen, page or popup once the scene is up (main, input, eq,\n"
                "              output, compressor, speaker, settings, pin, puk, test, firmware,\n"
                "              tutorial, newversion)\n"
                "  --scene-dir DIR\n"
                "              load the scene's documents from DIR (the resources folder) instead\n"
                "              of the built-in ones: edits show without a rebuild\n"
                "  --developer developer mode on from the start\n"
                "  --quit-after-first-frame\n"
                "              print \"first frame\" once the window has been drawn, and quit\n"
                "  --wait-for-main MS\n"
                "              how long a Wdx may stay in its boot loader before the recovery\n"
                "              screen (30000)\n"
                "  --help      this text\n");
}

} // namespace

int main(int argc, char *argv[])
{
    namespace V = VirtualWdx;
    V::reset();
    V::update(setUpShow);

    // Our own words are taken out; the rest is the toolkit's (-platform, ...).
    std::vector<char *> rest{argv[0]};
    const Scenario *chosen = nullptr;
    bool exitWhenPolling = false;
    QString show;
    int waitForMainMs = -1;
    bool developer = false;
    bool quitAfterFirstFrame = false;
    const std::vector<Scenario> all = scenarios();
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            printHelp();
            return 0;
        }
        if (!std::strcmp(arg, "--puk")) {
            const std::string name = V::state().name;
            const QString serial = QString::fromStdString(name).right(6);
            std::printf("Recovery code of the virtual Wdx %s: %s\n", name.c_str(),
                        qPrintable(WdxModel::recoveryCode(serial)));
            return 0;
        }
        if (!std::strcmp(arg, "--exit-when-polling")) {
            exitWhenPolling = true;
            continue;
        }
        if (i + 1 < argc && !std::strcmp(arg, "--show")) {
            show = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (i + 1 < argc && !std::strcmp(arg, "--scene-dir")) {
            const QString dir = QString::fromLocal8Bit(argv[++i]);
            VelaManager::setSceneUrl(QUrl::fromLocalFile(QDir(dir).absoluteFilePath(QStringLiteral("VelaMain.qml"))));
            continue;
        }
        if (!std::strcmp(arg, "--quit-after-first-frame")) {
            quitAfterFirstFrame = true;
            continue;
        }
        if (!std::strcmp(arg, "--developer")) {
            developer = true;
            continue;
        }
        if (i + 1 < argc && !std::strcmp(arg, "--wait-for-main")) {
            waitForMainMs = std::atoi(argv[++i]);
            continue;
        }
        bool isScenario = false;
        for (const Scenario &s : all) {
            if (!std::strcmp(arg, s.name) || (!std::strncmp(arg, "--", 2) && !std::strcmp(arg + 2, s.name))) {
                chosen = &s;
                isScenario = true;
            }
        }
        if (!isScenario)
            rest.push_back(argv[i]);
    }
    if (chosen)
        chosen->prepare();
    if (s_plugAtStart)
        V::plug();
    // The demo stays off the network: no online version check.
    WdxManager::setVersionCheckUrl(QString());
    int restCount = int(rest.size());
    rest.push_back(nullptr);
    return runVela(restCount, rest.data(), [exitWhenPolling, show, waitForMainMs, developer, quitAfterFirstFrame](VelaManager *manager) {
        if (quitAfterFirstFrame) {
            QObject::connect(manager->view(), &QQuickWindow::frameSwapped, manager, [manager] {
                std::printf("first frame\n");
                std::fflush(stdout);
                QTimer::singleShot(0, manager, &VelaManager::appQuit);
            });
        }
        if (developer)
            manager->deviceManager()->model()->setDevModeEnabled(true);
        if (waitForMainMs >= 0)
            manager->deviceManager()->stateMachine()->setWaitForMainInterval(waitForMainMs);
        if (!show.isEmpty()) {
            // The scene opens its pages itself; the splash has gone by then.
            QTimer::singleShot(1500, manager, [manager, show] {
                if (show == QLatin1String("newversion")) {
                    // As if the update server had answered with a newer version.
                    manager->deviceManager()->model()->updateOnlineApplicationVersion(QStringLiteral("9.9.0"));
                    return;
                }
                QObject *root = manager->view()->rootObject();
                if (!root || !QMetaObject::invokeMethod(root, "demoShow", Q_ARG(QVariant, show)))
                    std::fprintf(stderr, "vela-demo: cannot show \"%s\"\n", qPrintable(show));
            });
        }
        if (!exitWhenPolling)
            return;
        WdxModel *model = manager->deviceManager()->model();
        QObject::connect(model, &WdxModel::stateChanged, manager, [manager, model] {
            if (model->state() == QLatin1String("Polling"))
                QTimer::singleShot(500, manager, &VelaManager::appQuit);
        });
    });
}
