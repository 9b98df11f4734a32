#pragma once

// The controller side and the device model against the virtual Wdx, wired as the application
// wires them: hidapi functions, driver, monitor, processor on its worker thread,
// sub-controllers and model on the test's thread.

#include "ModelTestSupport.h"
#include "VirtualWdx.h"
#include "app/WdxConnections.h"
#include "control/WdxController.h"
#include "control/WdxController_CompressorSettings.h"
#include "control/WdxController_DelaysSettings.h"
#include "control/WdxController_DeviceInfo.h"
#include "control/WdxController_EqSettings.h"
#include "control/WdxController_GainsSettings.h"
#include "control/WdxController_PatchSettings.h"
#include "control/WdxController_SecuritySettings.h"
#include "control/WdxController_SpeakerSettings.h"
#include "control/WdxController_SpecificFunctions.h"
#include "firmware/WdxFirmwareDb.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "models/WdxModel.h"
#include "protocol/WdxRequest.h"
#include "protocol/WdxRequestProcessor.h"

#include <QtTest>

#include <atomic>
#include <functional>
#include <map>

namespace ControlTest {

namespace V = VirtualWdx;

constexpr int kWait = 20000;

// Every read the screens poll, by the name a test row gives it.
using Action = std::function<void()>;

class StackRig
{
public:
    explicit StackRig(const V::Timing &timing = V::Timing())
    {
        V::reset();
        V::setTiming(timing);
        V::plug();
        controller = new WdxController;
        model = new WdxModel;
        model->setFirmwareDb(&firmwareDb);
        QObject::connect(controller->firmwareUpdateController(), &WdxFirmwareUpdateController::fwLoaded, &firmwareDb,
                         &WdxFirmwareDb::updateDb);
        QObject::connect(controller->processor(), &WdxRequestProcessor::started, controller->processor(),
                         [this] { m_running = true; }, Qt::DirectConnection);
        connectControllerToModel(controller, model);
    }
    ~StackRig()
    {
        delete model;
        delete controller;
        V::reset();
    }
    StackRig(const StackRig &) = delete;
    StackRig &operator=(const StackRig &) = delete;

    // Starts the engine, looks for the bridge and waits for the connection (and the package).
    bool start()
    {
        controller->start();
        if (!QTest::qWaitFor([this] { return m_running.load(); }, kWait))
            return false;
        controller->processor()->resume();
        return QTest::qWaitFor([this] { return model->isConnected() && !firmwareDb.mainFwVersion().isEmpty(); },
                               kWait);
    }

    // Requests still alive under the sub-controllers: each is released when its answer (or
    // its failure) has been handled.
    int pendingRequests() const { return controller->findChildren<WdxRequest *>().size(); }
    bool settle(int ms = kWait) const
    {
        return QTest::qWaitFor([this] { return pendingRequests() == 0 && controller->processor()->waitingCount() == 0; },
                               ms);
    }
    // Children of the sub-controllers other than requests (the EQ's band records).
    int eqChildren() const { return controller->eq()->children().size(); }

    // Every read of the device's settings families, as the screens post them.
    std::map<QString, Action> reads() const
    {
        WdxController_DeviceInfo *info = controller->deviceInfo();
        return {
            {"name", [info] { info->readDeviceName(); }},
            {"type", [info] { info->readDeviceType(); }},
            {"main", [info] { info->readMainFwVersion(); }},
            {"dsp", [info] { info->readDspFwVersion(); }},
            {"preset", [info] { info->readPresetFwVersion(); }},
            {"status", [info] { info->readDeviceStatus(); }},
            {"lock", [info] { info->readSecurityStatus(false); }},
            {"lockRepost", [info] { info->readSecurityStatus(true); }},
            {"outputMeters", [info] { info->readOutputsMeters(); }},
            {"compressorMeters", [info] { info->readOutputCompressorMeters(); }},
            {"inputMeters", [info] { info->readInputsMeters(); }},
            {"gains", [this] { controller->gains()->readOutputGains(); }},
            {"frontPanel", [this] { controller->gains()->readFrontPanelGains(); }},
            {"delays", [this] { controller->delays()->readOutputDelays(); }},
            {"preProcPatch", [this] { controller->patch()->readPreProcessingPatch(); }},
            {"outputPatch", [this] { controller->patch()->readOutputPatch(); }},
            {"outputPatch2", [this] { controller->patch()->readOutputPatch(2); }},
            {"eq", [this] { controller->eq()->read(); }},
            {"eq1", [this] { controller->eq()->read(1); }},
            {"compressor", [this] { controller->compressor()->read(); }},
            {"compressor1", [this] { controller->compressor()->read(1); }},
            {"mode", [this] { controller->speaker()->readSpeakerMode(); }},
            {"presets", [this] { controller->speaker()->readSpeakerPreset(false); }},
            {"presetsRepost", [this] { controller->speaker()->readSpeakerPreset(true); }},
            {"mux", [this] { controller->specificFunctions()->readDigitalMuxStatus(); }},
        };
    }
    void readAll()
    {
        for (const char *name : {"name", "type", "main", "dsp", "preset", "status", "lock", "outputMeters",
                                 "compressorMeters", "inputMeters", "gains", "frontPanel", "delays", "preProcPatch",
                                 "outputPatch", "eq", "compressor", "mode", "presets", "mux"})
            reads().at(QString::fromLatin1(name))();
    }

    WdxController *controller;
    WdxModel *model;
    WdxFirmwareDb firmwareDb;

private:
    std::atomic<bool> m_running{false};
};

inline QByteArray hex(const V::Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex(' ');
}

// DATA of the frames of one kind that reached the device, oldest first.
inline QList<QByteArray> sent(int cmd, int op, int subCode = -1)
{
    QList<QByteArray> out;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice, cmd, op, subCode))
        out.append(hex(e.data));
    return out;
}

inline V::Bytes bytes(const QByteArray &hexText)
{
    const QByteArray raw = QByteArray::fromHex(hexText);
    return V::Bytes(raw.begin(), raw.end());
}

// A fault aimed at the device's answers to one OP and sub-code (-1: any), `count` times.
inline V::AnswerRule aimed(V::AnswerRule::Action action, int op, int subCode = -1, int count = -1)
{
    V::AnswerRule rule;
    rule.op = op;
    rule.subCode = subCode;
    rule.count = count;
    rule.action = action;
    return rule;
}

// The device answers with this DATA (hexadecimal; empty: its own) and, if not -1, this CMD and OP.
inline V::AnswerRule answering(int op, int subCode, const QByteArray &data, int count = 1, int replyCmd = -1,
                               int replyOp = -1)
{
    V::AnswerRule rule = aimed(V::AnswerRule::Action::Override, op, subCode, count);
    rule.replyCmd = replyCmd;
    rule.replyOp = replyOp;
    rule.replaceData = !data.isEmpty();
    rule.data = bytes(data);
    return rule;
}

} // namespace ControlTest
