#include "VelaScreenController.h"

#include "WdxModel.h"
#include "control/WdxController.h"
#include "control/WdxController_CompressorSettings.h"
#include "control/WdxController_DelaysSettings.h"
#include "control/WdxController_DeviceInfo.h"
#include "control/WdxController_EqSettings.h"
#include "control/WdxController_GainsSettings.h"
#include "control/WdxController_PatchSettings.h"
#include "control/WdxController_SpeakerSettings.h"
#include "control/WdxController_SpecificFunctions.h"

VelaScreenController::VelaScreenController(WdxController *controller, WdxModel *model, QObject *parent)
    : QObject(parent), m_controller(controller), m_model(model)
{
    onScreenChanged();
    connect(model, &WdxModel::activeScreenChanged, this, &VelaScreenController::onScreenChanged);
    connect(model, &WdxModel::isConnectedChanged, this, [this] { m_mainGainsPending = true; });
    connect(controller->gains(), &WdxController_GainsSettings::outputGainsRead, this,
            [this] { m_mainGainsPending = false; });
}

void VelaScreenController::onMainTick()
{
    if (m_mainGainsPending)
        m_controller->gains()->readOutputGains();
}

void VelaScreenController::onScreenChanged()
{
    disconnect(this, &VelaScreenController::pollingTimeout, nullptr, nullptr);

    WdxController_DeviceInfo *info = m_controller->deviceInfo();
    WdxController_SpeakerSettings *speaker = m_controller->speaker();
    const auto tick = &VelaScreenController::pollingTimeout;
    auto outputMeters = [&] { connect(this, tick, info, &WdxController_DeviceInfo::readOutputsMeters); };
    auto compressorMeters = [&] {
        connect(this, tick, info, &WdxController_DeviceInfo::readOutputCompressorMeters);
    };
    auto presets = [&] {
        connect(this, tick, speaker, QOverload<>::of(&WdxController_SpeakerSettings::readSpeakerPreset));
    };
    auto mode = [&] { connect(this, tick, speaker, &WdxController_SpeakerSettings::readSpeakerMode); };
    auto lock = [&] { connect(this, tick, info, QOverload<>::of(&WdxController_DeviceInfo::readSecurityStatus)); };
    auto compressors = [&] {
        connect(this, tick, m_controller->compressor(), QOverload<>::of(&WdxController_CompressorSettings::read));
    };
    auto eqs = [&] { connect(this, tick, m_controller->eq(), QOverload<>::of(&WdxController_EqSettings::read)); };

    const QString screen = m_model->activeScreen();
    const int type = m_model->deviceType();
    if (screen == QLatin1String("main")) {
        outputMeters();
        // The main screen shows each output's gain and compressor activity as well; without
        // these reads it would show defaults that are not the device's.
        compressorMeters();
        m_mainGainsPending = true;
        connect(this, tick, this, &VelaScreenController::onMainTick);
        presets();
        mode();
        lock();
    } else if (screen == QLatin1String("output")) {
        compressors();
        connect(this, tick, m_controller->patch(), QOverload<>::of(&WdxController_PatchSettings::readOutputPatch));
        presets();
        outputMeters();
        compressorMeters();
        connect(this, tick, m_controller->delays(), &WdxController_DelaysSettings::readOutputDelays);
        connect(this, tick, m_controller->gains(), &WdxController_GainsSettings::readOutputGains);
        // Only these types have front-panel gain controls.
        if (type == 0 || type == 1)
            connect(this, tick, m_controller->gains(), &WdxController_GainsSettings::readFrontPanelGains);
        mode();
        lock();
    } else if (screen == QLatin1String("input")) {
        connect(this, tick, m_controller->patch(),
                QOverload<>::of(&WdxController_PatchSettings::readPreProcessingPatch));
        eqs();
        connect(this, tick, info, &WdxController_DeviceInfo::readInputsMeters);
        // Only these types have a digital input to select.
        if (type == 1 || type == 3)
            connect(this, tick, m_controller->specificFunctions(),
                    &WdxController_SpecificFunctions::readDigitalMuxStatus);
        mode();
        lock();
    } else if (screen == QLatin1String("settings")) {
        lock();
    } else if (screen == QLatin1String("eq")) {
        eqs();
        mode();
        lock();
    } else if (screen == QLatin1String("compressor")) {
        compressors();
        compressorMeters();
        mode();
        lock();
    } else if (screen == QLatin1String("speakerAndMode") || screen == QLatin1String("speaker")) {
        presets();
        mode();
        lock();
    }
    // Every other screen ("requestToUpgrade", "uploadingFirmware", "disconnected", "test", ...)
    // polls nothing.
}
