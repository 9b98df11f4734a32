#pragma once

#include "control/WdxSubController.h"

// Device Specific Functions (OP 0xFD): the digital input selection ("Digital Mux Status",
// sub-code 0x00), the index of the selected digital source.
class WdxController_SpecificFunctions : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_SpecificFunctions(WdxRequestProcessor *processor, QObject *parent = nullptr);

public slots:
    void readDigitalMuxStatus();
    void writeDigitalMuxStatus(quint8 status);

signals:
    void digitalMuxStatusRead(quint8 status);

private slots:
    void onReadDigitalMuxCompleted();
};
