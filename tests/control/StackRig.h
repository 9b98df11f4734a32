#pragma once

// The device side against the virtual Wdx, wired as the application wires it: hidapi functions,
// driver, monitor, processor on its worker thread, sub-controllers and model on the test's thread.

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
#include <map>

namespace ControlTest {

namespace V = VirtualWdx;

constexpr int kWait = 20000;

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

    // Starts the engine and waits for the connection and the package.
    bool start()
    {
        controller->start();
        const bool running = QTest::qWaitFor([this] { return m_running.load(); }, kWait);
        controller->processor()->resume();
        return running && QTest::qWaitFor([this] { return model->isConnected() && !firmwareDb.mainFwVersion().isEmpty(); }, kWait);
    }

    // Requests still alive under the sub-controllers (each is released once handled).
    int pendingRequests() const { return controller->findChildren<WdxRequest *>().size(); }
    bool settle() const
    {
        return QTest::qWaitFor([this] { return pendingRequests() == 0 && controller->processor()->waitingCount() == 0; }, kWait);
    }

    // Runs one slot of a sub-controller: "family.slot" or "family.slot(argument)".
    void call(const QString &text) const
    {
        WdxController *c = controller;
        const std::map<QString, QObject *> families{
            {"info", c->deviceInfo()}, {"gains", c->gains()}, {"delays", c->delays()}, {"patch", c->patch()},
            {"eq", c->eq()}, {"compressor", c->compressor()}, {"speaker", c->speaker()}, {"mux", c->specificFunctions()}};
        QObject *family = families.at(text.section('.', 0, 0));
        const QByteArray slot = text.section('.', 1).section('(', 0, 0).toLatin1();
        const QString argument = text.section('(', 1).chopped(1);
        const bool done = argument.isEmpty() ? QMetaObject::invokeMethod(family, slot)
            : argument == QLatin1String("true") ? QMetaObject::invokeMethod(family, slot, Q_ARG(bool, true))
                                                : QMetaObject::invokeMethod(family, slot, Q_ARG(int, argument.toInt()));
        QVERIFY2(done, qPrintable(text));
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

inline V::Bytes bytes(const QByteArray &hexText)
{
    const QByteArray raw = QByteArray::fromHex(hexText);
    return V::Bytes(raw.begin(), raw.end());
}

// DATA of the frames of one kind that reached the device, oldest first (cmd -1: whole frames).
inline QList<QByteArray> sent(int cmd, int op = -1, int subCode = -1)
{
    QList<QByteArray> out;
    for (const V::WireEntry &e : V::frames(V::Direction::ToDevice, cmd, op, subCode))
        out.append(hex(cmd < 0 ? e.bytes : e.data));
    return out;
}
inline QList<QByteArray> toDevice() { return sent(-1); }

// The device's answers to one OP and sub-code (-1: any), `count` times: dropped, with the error
// bit, or (Override) with this DATA and, if not -1, this CMD.
inline V::AnswerRule aimed(V::AnswerRule::Action action, int op, int subCode = -1, int count = -1,
                           const QByteArray &data = QByteArray(), int replyCmd = -1)
{
    V::AnswerRule rule;
    rule.op = op;
    rule.subCode = subCode;
    rule.count = count;
    rule.action = action;
    rule.replyCmd = replyCmd;
    rule.replaceData = !data.isEmpty();
    rule.data = bytes(data);
    return rule;
}

} // namespace ControlTest
