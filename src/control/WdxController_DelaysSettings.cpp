#include "control/WdxController_DelaysSettings.h"

#include "protocol/WdxRequestBuilder.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kOutputDelays = 0x40;
constexpr int kAnswerLength = 7; // sub-code and three 16-bit delays
}

WdxController_DelaysSettings::WdxController_DelaysSettings(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
}

void WdxController_DelaysSettings::readOutputDelays()
{
    postRead(readOutputDelaysMessage(), &WdxController_DelaysSettings::onReadOutputDelaysCompleted);
}

void WdxController_DelaysSettings::writeOutputDelays(QList<quint16> values)
{
    postWrite(writeOutputDelaysMessage(values));
}

void WdxController_DelaysSettings::onReadOutputDelaysCompleted()
{
    complete(enOperationCode_DelaySettings, exactly(kAnswerLength, kOutputDelays), [this](const QRawData &data) {
        QVector<quint16> values;
        for (int pos = 1; pos < kAnswerLength; pos += 2)
            values.append(quint16(data.getUVal(pos, 2)));
        emit outputDelaysRead(values);
    });
}
