#pragma once

#include "control/WdxSubController.h"

// Patch Settings (OP 0x05): one patch byte per pre-processing channel (sub-code 0x30 + n, a bit
// field of the inputs feeding it) and per output (0x40 + n). The channel of an answer is taken
// from its sub-code, not from the request.
class WdxController_PatchSettings : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_PatchSettings(WdxRequestProcessor *processor, QObject *parent = nullptr);

    int outputCount() const { return m_outputCount; }
    void setOutputCount(int count) { m_outputCount = count; }
    int preProcessingCount() const { return m_preProcessingCount; }
    void setPreProcessingCount(int count) { m_preProcessingCount = count; }

public slots:
    void readPreProcessingPatch(int channelIndex);
    void readOutputPatch(int channelIndex);
    void readPreProcessingPatch();
    void readOutputPatch();
    void writePreProcessingPatch(int channelIndex, quint8 patchValue);
    void writeOutputPatch(int channelIndex, quint8 patchValue);

signals:
    void preProcessingPatchRead(int channelIndex, quint8 patchValue);
    void outputPatchRead(int channelIndex, quint8 patchValue);

private slots:
    void onPreProcessingPatchReadCompleted();
    void onOutputPatchReadCompleted();

private:
    void completePatch(quint8 family, void (WdxController_PatchSettings::*signal)(int, quint8));

    int m_outputCount = 3;
    int m_preProcessingCount = 2;
};
