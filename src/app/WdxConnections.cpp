#include "app/WdxConnections.h"

#include "control/WdxController.h"
#include "control/WdxController_CompressorSettings.h"
#include "control/WdxController_DelaysSettings.h"
#include "control/WdxController_DeviceInfo.h"
#include "control/WdxController_EqSettings.h"
#include "control/WdxController_GainsSettings.h"
#include "control/WdxController_PatchSettings.h"
#include "control/WdxController_SpeakerSettings.h"
#include "control/WdxController_SpecificFunctions.h"
#include "firmware/WdxFirmwareUpdateController.h"
#include "models/WdxModel.h"

void connectControllerToModel(WdxController *controller, WdxModel *model)
{
    using Info = WdxController_DeviceInfo;
    using Firmware = WdxFirmwareUpdateController;
    Info *info = controller->deviceInfo();
    WdxController_GainsSettings *gains = controller->gains();
    WdxController_DelaysSettings *delays = controller->delays();
    WdxController_PatchSettings *patch = controller->patch();
    WdxController_EqSettings *eq = controller->eq();
    WdxController_CompressorSettings *compressor = controller->compressor();
    WdxController_SpeakerSettings *speaker = controller->speaker();
    WdxController_SpecificFunctions *functions = controller->specificFunctions();
    Firmware *firmware = controller->firmwareUpdateController();

    QObject::connect(controller, &WdxController::wdxConnected, model, &WdxModel::onWdxConnected);
    QObject::connect(controller, &WdxController::wdxDisconnected, model, &WdxModel::onWdxDisconnected);
    QObject::connect(info, &Info::deviceNameRead, model, &WdxModel::updateDeviceName);
    QObject::connect(info, &Info::outputMetersRead, model, &WdxModel::updateOutputMeters);
    QObject::connect(info, &Info::inputMetersRead, model, &WdxModel::updateInputMeters);
    QObject::connect(info, &Info::outputCompressorMetersRead, model, &WdxModel::updateCompressorMeters);
    QObject::connect(info, &Info::mainFwVersionRead, model, &WdxModel::updateMainFwVersion);
    QObject::connect(info, &Info::dspFwVersionRead, model, &WdxModel::updateDspFwVersion);
    QObject::connect(info, &Info::presetFwVersionRead, model, &WdxModel::updatePresetFwVersion);
    QObject::connect(info, &Info::deviceStatusRead, model, &WdxModel::updateDeviceStatus);
    QObject::connect(info, &Info::deviceSecurityStatusRead, model, &WdxModel::updateSecurityStatus);
    QObject::connect(gains, &WdxController_GainsSettings::outputGainsRead, model, &WdxModel::updateOutputGains);
    QObject::connect(gains, &WdxController_GainsSettings::frontPanelGainsRead, model, &WdxModel::updateFrontPanelGains);
    QObject::connect(model, &WdxModel::notifyRequestToWriteGains, gains, &WdxController_GainsSettings::writeOutputGains);
    QObject::connect(delays, &WdxController_DelaysSettings::outputDelaysRead, model, &WdxModel::updateOutputDelays);
    QObject::connect(model, &WdxModel::notifyRequestToWriteDelays, delays,
                     &WdxController_DelaysSettings::writeOutputDelays);
    QObject::connect(patch, &WdxController_PatchSettings::preProcessingPatchRead, model,
                     &WdxModel::preProcessingPatchRead);
    QObject::connect(patch, &WdxController_PatchSettings::outputPatchRead, model, &WdxModel::outputPatchRead);
    QObject::connect(model, &WdxModel::notifyRequestToWritePreProcessingPatch, patch,
                     &WdxController_PatchSettings::writePreProcessingPatch);
    QObject::connect(model, &WdxModel::notifyRequestToWriteOutputPatch, patch,
                     &WdxController_PatchSettings::writeOutputPatch);
    QObject::connect(eq, &WdxController_EqSettings::eqRead, model, &WdxModel::eqRead);
    QObject::connect(model, &WdxModel::notifyRequestToWriteEq, eq, &WdxController_EqSettings::write);
    QObject::connect(compressor, &WdxController_CompressorSettings::compressorRead, model, &WdxModel::compressorRead);
    QObject::connect(model, &WdxModel::notifyRequestToWriteCompressor, compressor,
                     &WdxController_CompressorSettings::write);
    QObject::connect(speaker, &WdxController_SpeakerSettings::speakerModeRead, model, &WdxModel::updateSpeakerMode);
    QObject::connect(speaker, &WdxController_SpeakerSettings::speakerPresetRead, model,
                     &WdxModel::updateSpeakerPreset);
    QObject::connect(model, &WdxModel::notifyRequestToWriteSpeakerVariant, speaker,
                     &WdxController_SpeakerSettings::writeSpeakerVariant);
    QObject::connect(functions, &WdxController_SpecificFunctions::digitalMuxStatusRead, model,
                     &WdxModel::updateDigitalMux);
    QObject::connect(model, &WdxModel::notifyRequestToWriteDigitalMux, functions,
                     &WdxController_SpecificFunctions::writeDigitalMuxStatus);
    QObject::connect(model, &WdxModel::notifyRequestToChangeMainPreset, firmware,
                     QOverload<const QString &>::of(&Firmware::startUploadMainPreset));
    QObject::connect(model, &WdxModel::notifyRequestToChangeSubPreset, firmware,
                     QOverload<const QString &>::of(&Firmware::startUploadSubPreset));
    QObject::connect(model, &WdxModel::notifyRequestToUploadFirmware, firmware, &Firmware::startUploadFirmware);
}
