#include "control/WdxController_EqSettings.h"

#include "protocol/WdxRequestBuilder.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kPreProcessing = 0x30;
constexpr int kFirstBand = 2; // after the sub-code and the enable byte
constexpr int kBandBytes = 4;
}

WdxController_EqSettings::WdxController_EqSettings(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
    qRegisterMetaType<QList<WdxEqBand *>>("QList<WdxEqBand*>");
}

void WdxController_EqSettings::read(int channelId)
{
    postRead(readEqMessage(quint8(channelId)), &WdxController_EqSettings::onReadCompleted);
}

void WdxController_EqSettings::read()
{
    for (int n = 0; n < m_channelCount; ++n)
        read(n);
}

void WdxController_EqSettings::write(int channelId, bool isEnabled, QList<WdxEqBand *> bands)
{
    postWrite(writeEqMessage(quint8(channelId), isEnabled, bands));
    for (WdxEqBand *band : qAsConst(bands)) {
        if (band)
            band->deleteLater();
    }
}

void WdxController_EqSettings::onReadCompleted()
{
    complete(enOperationCode_EqSettings,
             [](const QRawData &data) { return data.byteLen() >= 3 && (data.at(0) & 0xF0) == kPreProcessing; },
             [this](const QRawData &data) {
                 QList<WdxEqBand *> bands;
                 // A partial group after the last whole band is no band.
                 for (int i = kFirstBand; i + kBandBytes <= data.byteLen(); i += kBandBytes) {
                     auto *band = new WdxEqBand(this);
                     band->setControl(data.at(i));
                     band->setFrequency(data.at(i + 1));
                     band->setGain(data.at(i + 2));
                     band->setQualityFactor(data.at(i + 3));
                     bands.append(band);
                 }
                 emit eqRead(data.at(0) & 0x0F, data.at(1) != 0, bands);
                 for (WdxEqBand *band : qAsConst(bands))
                     band->deleteLater();
             });
}
