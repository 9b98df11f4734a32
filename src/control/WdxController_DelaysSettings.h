#pragma once

#include "control/WdxSubController.h"

#include <QList>
#include <QVector>

// Delay Settings (OP 0x04): the three output delays, 16-bit big-endian codes of 1/12 ms.
class WdxController_DelaysSettings : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_DelaysSettings(WdxRequestProcessor *processor, QObject *parent = nullptr);

public slots:
    void readOutputDelays();
    // Sent as given, two bytes per element.
    void writeOutputDelays(QList<quint16> values);

signals:
    void outputDelaysRead(QVector<quint16> values);

private slots:
    void onReadOutputDelaysCompleted();
};
