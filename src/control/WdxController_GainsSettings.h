#pragma once

#include "control/WdxSubController.h"

#include <QList>
#include <QVector>

// Gain Settings (OP 0x03): the three output gains (read and written) and the positions of the
// device's own front-panel gain controls (read only). Codes are gain list indexes, 36 = 0 dB.
class WdxController_GainsSettings : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_GainsSettings(WdxRequestProcessor *processor, QObject *parent = nullptr);

public slots:
    void readOutputGains();
    void readFrontPanelGains();
    // Sent as given, one byte per element.
    void writeOutputGains(QList<quint8> gains);

signals:
    void outputGainsRead(QVector<quint8> values);
    void frontPanelGainsRead(QVector<quint8> values);

private slots:
    void onReadOutputGainsCompleted();
    void onReadFrontPanelGainsCompleted();

private:
    void completeGains(quint8 subCode, void (WdxController_GainsSettings::*signal)(QVector<quint8>));
};
