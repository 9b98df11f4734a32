#include "control/WdxController_SpeakerSettings.h"

#include "protocol/WdxRequestBuilder.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kPresetSubCode = 0x00;
constexpr quint8 kModeSubCode = 0x01;
constexpr int kPresetLength = 7; // sub-code and two three-character ids
constexpr int kModeLength = 4;
constexpr int kPresetIdLength = 3;
}

WdxController_SpeakerSettings::WdxController_SpeakerSettings(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
}

void WdxController_SpeakerSettings::readSpeakerMode()
{
    postRead(readSpeakerModeMessage(), &WdxController_SpeakerSettings::onReadSpeakerModeCompleted);
}

void WdxController_SpeakerSettings::readSpeakerPreset(bool repostOnFail)
{
    postRead(readSpeakerPresetMessage(), &WdxController_SpeakerSettings::onReadSpeakerPresetCompleted, repostOnFail);
}

void WdxController_SpeakerSettings::writeSpeakerVariant(quint8 mainVariant, quint8 subVariant)
{
    postWrite(writeSpeakerVariantMessage(mainVariant, subVariant));
}

void WdxController_SpeakerSettings::onReadSpeakerModeCompleted()
{
    complete(enOperationCode_SpeakerModeSettings, exactly(kModeLength, kModeSubCode),
             [this](const QRawData &data) { emit speakerModeRead(data.at(1), data.at(2), data.at(3)); });
}

void WdxController_SpeakerSettings::onReadSpeakerPresetCompleted()
{
    complete(
        enOperationCode_SpeakerModeSettings, exactly(kPresetLength, kPresetSubCode),
        [this](const QRawData &data) {
            emit speakerPresetRead(data.toText(1, kPresetIdLength), data.toText(1 + kPresetIdLength, kPresetIdLength));
        },
        [this] { readSpeakerPreset(true); });
}
