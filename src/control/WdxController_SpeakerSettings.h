#pragma once

#include "control/WdxSubController.h"

#include <QString>

// Speaker Mode Settings (OP 0x08): the loudspeaker presets stored in the device (two
// three-character ids), the mode switch and the selected variants, and the variant write.
class WdxController_SpeakerSettings : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_SpeakerSettings(WdxRequestProcessor *processor, QObject *parent = nullptr);

public slots:
    void readSpeakerMode();
    // With repostOnFail the read is repeated until an answer is accepted: the start-up walk
    // waits for the presets.
    void readSpeakerPreset(bool repostOnFail);
    void readSpeakerPreset() { readSpeakerPreset(false); }
    void writeSpeakerVariant(quint8 mainVariant, quint8 subVariant);

signals:
    void speakerModeRead(quint8 hwMode, quint8 mainMode, quint8 subMode);
    void speakerPresetRead(QString mainPreset, QString subPreset);

private slots:
    void onReadSpeakerModeCompleted();
    void onReadSpeakerPresetCompleted();
};
