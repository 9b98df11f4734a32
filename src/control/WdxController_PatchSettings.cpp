#include "control/WdxController_PatchSettings.h"

#include "protocol/WdxRequestBuilder.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kPreProcessing = 0x30;
constexpr quint8 kOutputs = 0x40;
constexpr int kAnswerLength = 2;
}

WdxController_PatchSettings::WdxController_PatchSettings(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
}

void WdxController_PatchSettings::readPreProcessingPatch(int channelIndex)
{
    postRead(readPreProcessingPatchMessage(quint8(channelIndex)),
             &WdxController_PatchSettings::onPreProcessingPatchReadCompleted);
}

void WdxController_PatchSettings::readOutputPatch(int channelIndex)
{
    postRead(readOutputPatchMessage(quint8(channelIndex)), &WdxController_PatchSettings::onOutputPatchReadCompleted);
}

void WdxController_PatchSettings::readPreProcessingPatch()
{
    for (int n = 0; n < m_preProcessingCount; ++n)
        readPreProcessingPatch(n);
}

void WdxController_PatchSettings::readOutputPatch()
{
    for (int n = 0; n < m_outputCount; ++n)
        readOutputPatch(n);
}

void WdxController_PatchSettings::writePreProcessingPatch(int channelIndex, quint8 patchValue)
{
    postWrite(writePreProcessingPatchMessage(quint8(channelIndex), patchValue));
}

void WdxController_PatchSettings::writeOutputPatch(int channelIndex, quint8 patchValue)
{
    postWrite(writeOutputPatchMessage(quint8(channelIndex), patchValue));
}

void WdxController_PatchSettings::completePatch(quint8 family, void (WdxController_PatchSettings::*signal)(int, quint8))
{
    complete(enOperationCode_PatchSettings, exactlyInFamily(kAnswerLength, family),
             [this, signal](const QRawData &data) { emit(this->*signal)(data.at(0) & 0x0F, data.at(1)); });
}

void WdxController_PatchSettings::onPreProcessingPatchReadCompleted()
{
    completePatch(kPreProcessing, &WdxController_PatchSettings::preProcessingPatchRead);
}

void WdxController_PatchSettings::onOutputPatchReadCompleted()
{
    completePatch(kOutputs, &WdxController_PatchSettings::outputPatchRead);
}
