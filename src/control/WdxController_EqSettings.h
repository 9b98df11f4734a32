#pragma once

#include "control/WdxSubController.h"
#include "protocol/WdxEqBand.h"

#include <QList>

// Eq Settings (OP 0x06): the parametric equaliser of each pre-processing channel, an enable
// byte and four bytes per band (control, frequency, gain, Q).
//
// Band records cross in both directions and are always released by this sub-controller: those
// it reads are lent to the receivers of eqRead() for the length of the signal and released
// right after it; those given to write() are released once the request is built, or at once
// when nothing can be sent. Receivers never delete or keep them.
class WdxController_EqSettings : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_EqSettings(WdxRequestProcessor *processor, QObject *parent = nullptr);

    int channelCount() const { return m_channelCount; }
    void setChannelCount(int count) { m_channelCount = count; }

public slots:
    void read(int channelId);
    void read();
    void write(int channelId, bool isEnabled, QList<WdxEqBand *> bands);

signals:
    void eqRead(int channelId, bool isEnabled, QList<WdxEqBand *> bands);

private slots:
    void onReadCompleted();

private:
    int m_channelCount = 2;
};
