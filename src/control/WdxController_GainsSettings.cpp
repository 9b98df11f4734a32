#include "control/WdxController_GainsSettings.h"

#include "protocol/WdxRequestBuilder.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kOutputGains = 0x40;
constexpr quint8 kFrontPanelGains = 0x80;
constexpr int kAnswerLength = 4; // sub-code and three outputs
}

WdxController_GainsSettings::WdxController_GainsSettings(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
}

void WdxController_GainsSettings::readOutputGains()
{
    postRead(readOutputGainsMessage(), &WdxController_GainsSettings::onReadOutputGainsCompleted);
}

void WdxController_GainsSettings::readFrontPanelGains()
{
    postRead(readFrontPanelGainsMessage(), &WdxController_GainsSettings::onReadFrontPanelGainsCompleted);
}

void WdxController_GainsSettings::writeOutputGains(QList<quint8> gains)
{
    postWrite(writeOutputGainsMessage(gains));
}

void WdxController_GainsSettings::completeGains(quint8 subCode,
                                                void (WdxController_GainsSettings::*signal)(QVector<quint8>))
{
    complete(enOperationCode_GainSettings, exactly(kAnswerLength, subCode), [this, signal](const QRawData &data) {
        emit(this->*signal)(QVector<quint8>{data.at(1), data.at(2), data.at(3)});
    });
}

void WdxController_GainsSettings::onReadOutputGainsCompleted()
{
    completeGains(kOutputGains, &WdxController_GainsSettings::outputGainsRead);
}

void WdxController_GainsSettings::onReadFrontPanelGainsCompleted()
{
    completeGains(kFrontPanelGains, &WdxController_GainsSettings::frontPanelGainsRead);
}
