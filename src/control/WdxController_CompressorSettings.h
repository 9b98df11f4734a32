#pragma once

#include "control/WdxSubController.h"

// Compressor Settings (OP 0x07): the user compressor of each output (sub-code 0x40 + n):
// ratio index, the device's decay code, threshold index and the enable byte.
class WdxController_CompressorSettings : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_CompressorSettings(WdxRequestProcessor *processor, QObject *parent = nullptr);

    int channelCount() const { return m_channelCount; }
    void setChannelCount(int count) { m_channelCount = count; }

public slots:
    void read(int channelId);
    void read();
    void write(int channelId, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled);

signals:
    void compressorRead(int channelId, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled);

private slots:
    void onReadCompressorCompleted();

private:
    int m_channelCount = 3;
};
