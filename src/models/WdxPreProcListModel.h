#pragma once

#include "ListModel.h"

#include <QPointer>

class RVEq;
class WdxInputPatchListModel;
class WdxPreProcItem;

// The two pre-processing channels, with the operations that act on one channel or, while
// the channels' EQs are linked, on both.
class WdxPreProcListModel : public ListModel
{
    Q_OBJECT
    Q_PROPERTY(bool hasEqCopy READ hasEqCopy NOTIFY hasEqCopyChanged)
    Q_PROPERTY(bool isEqLinked READ isEqLinked NOTIFY isEqLinkedChanged)
public:
    explicit WdxPreProcListModel(QObject *parent = nullptr);

    WdxPreProcItem *preProcAt(int row) const;
    // The item of that channel index, or null.
    WdxPreProcItem *channel(int preProcIndex) const;

    Q_INVOKABLE WdxInputPatchListModel *inputPatches(int preProcIndex) const;
    Q_INVOKABLE void toggleInputPatched(int preProcIndex, int inputIndex);
    Q_INVOKABLE void copyChannelEq(int preProcIndex);
    Q_INVOKABLE void pasteChannelEq(int preProcIndex);
    Q_INVOKABLE void setSelectedChannelIndex(int channelIndex);
    Q_INVOKABLE bool hasEqCopy() const { return !m_copiedEq.isNull(); }
    Q_INVOKABLE bool isEqLinked() const { return m_isEqLinked; }
    Q_INVOKABLE void setSelectedBandId(int preProcIndex, int bandId);
    Q_INVOKABLE void setSelectedBandEnabled(int preProcIndex, bool enabled);
    Q_INVOKABLE void setSelectedBandType(int preProcIndex, int type);
    Q_INVOKABLE void setSelectedBandFrequency(int preProcIndex, int frequency);
    Q_INVOKABLE void setSelectedBandGain(int preProcIndex, int gain);
    Q_INVOKABLE void setSelectedBandQ(int preProcIndex, int qualityFactor);
    Q_INVOKABLE void addBand(int preProcIndex, int frequency, int gain, int qualityFactor);
    Q_INVOKABLE void removeSelectedBand(int preProcIndex);
    Q_INVOKABLE void copySelectedBand(int preProcIndex);
    Q_INVOKABLE void pasteSelectedBand(int preProcIndex);
    Q_INVOKABLE bool hasSameEq() const;
    Q_INVOKABLE void toggleLinkEq();

signals:
    void hasEqCopyChanged();
    void isEqLinkedChanged();

private:
    enum class BandValue { Frequency, Gain, QualityFactor };

    // Both channels while linked, otherwise the addressed one (if it exists).
    QList<WdxPreProcItem *> matchingItems(int preProcIndex) const;
    void setSelectedBandValue(int preProcIndex, BandValue which, int value);

    QPointer<RVEq> m_copiedEq;
    bool m_isEqLinked = false;
};
