#include "control/WdxController_SpecificFunctions.h"

#include "protocol/WdxRequestBuilder.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kDigitalMux = 0x00;
constexpr int kAnswerLength = 2;
}

WdxController_SpecificFunctions::WdxController_SpecificFunctions(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
}

void WdxController_SpecificFunctions::readDigitalMuxStatus()
{
    postRead(readDigitalMuxStatusMessage(), &WdxController_SpecificFunctions::onReadDigitalMuxCompleted);
}

void WdxController_SpecificFunctions::writeDigitalMuxStatus(quint8 status)
{
    postWrite(writeDigitalMuxStatusMessage(status));
}

void WdxController_SpecificFunctions::onReadDigitalMuxCompleted()
{
    complete(enOperationCode_DeviceSpecificFunctions, exactly(kAnswerLength, kDigitalMux),
             [this](const QRawData &data) { emit digitalMuxStatusRead(data.at(1)); });
}
