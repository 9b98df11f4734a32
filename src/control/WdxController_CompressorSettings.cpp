#include "control/WdxController_CompressorSettings.h"

#include "protocol/WdxRequestBuilder.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kOutputs = 0x40;
constexpr int kAnswerLength = 5;
}

WdxController_CompressorSettings::WdxController_CompressorSettings(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
}

void WdxController_CompressorSettings::read(int channelId)
{
    postRead(readCompressorMessage(quint8(channelId)), &WdxController_CompressorSettings::onReadCompressorCompleted);
}

void WdxController_CompressorSettings::read()
{
    for (int n = 0; n < m_channelCount; ++n)
        read(n);
}

void WdxController_CompressorSettings::write(int channelId, quint8 ratio, quint8 decay, quint8 threshold,
                                             bool isEnabled)
{
    postWrite(writeCompressorMessage(quint8(channelId), ratio, decay, threshold, isEnabled));
}

void WdxController_CompressorSettings::onReadCompressorCompleted()
{
    complete(enOperationCode_CompressorSettings, exactlyInFamily(kAnswerLength, kOutputs),
             [this](const QRawData &data) {
                 // Only 1 means on: any other byte reads as off.
                 emit compressorRead(data.at(0) & 0x0F, data.at(1), data.at(2), data.at(3), data.at(4) == 1);
             });
}
