#include "WdxPreProcListModel.h"

#include "RVEQBand.h"
#include "RVEq.h"
#include "WdxPreProcItem.h"

namespace {
// Values from the scene arrive as plain numbers; keep them in the byte range.
quint8 toByte(int value)
{
    return quint8(qBound(0, value, 255));
}

// Runs an edit with the EQ's editing flag up, so that no reply lands in the middle of it.
template<typename Edit>
void whileEditing(RVEq *eq, Edit edit)
{
    eq->setIsEditing(true);
    edit();
    eq->setIsEditing(false);
}

struct BandSnapshot
{
    quint8 frequency;
    quint8 gain;
    quint8 qualityFactor;
    bool isEnabled;
    quint8 type;
};
}

WdxPreProcListModel::WdxPreProcListModel(QObject *parent)
    : ListModel(new WdxPreProcItem(-1, QList<WdxInputItem *>()), parent)
{
}

WdxPreProcItem *WdxPreProcListModel::preProcAt(int row) const
{
    return static_cast<WdxPreProcItem *>(itemAt(row));
}

WdxPreProcItem *WdxPreProcListModel::channel(int preProcIndex) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (preProcAt(row)->channelIndex() == preProcIndex)
            return preProcAt(row);
    }
    return nullptr;
}

QList<WdxPreProcItem *> WdxPreProcListModel::matchingItems(int preProcIndex) const
{
    QList<WdxPreProcItem *> items;
    for (int row = 0; row < rowCount(); ++row) {
        WdxPreProcItem *item = preProcAt(row);
        if (m_isEqLinked || item->channelIndex() == preProcIndex)
            items.append(item);
    }
    return items;
}

WdxInputPatchListModel *WdxPreProcListModel::inputPatches(int preProcIndex) const
{
    WdxPreProcItem *item = channel(preProcIndex);
    return item ? item->inputPatches() : nullptr;
}

void WdxPreProcListModel::toggleInputPatched(int preProcIndex, int inputIndex)
{
    // Linking joins the channels' EQs, not their input patches.
    if (WdxPreProcItem *item = channel(preProcIndex))
        item->toggleInputPatch(inputIndex);
}

void WdxPreProcListModel::copyChannelEq(int preProcIndex)
{
    WdxPreProcItem *item = channel(preProcIndex);
    if (!item || m_copiedEq == item->eq())
        return;
    m_copiedEq = item->eq();
    emit hasEqCopyChanged();
}

void WdxPreProcListModel::pasteChannelEq(int preProcIndex)
{
    WdxPreProcItem *item = channel(preProcIndex);
    if (!item || !m_copiedEq)
        return;
    RVEq *target = item->eq();
    // Pasting an EQ onto itself changes nothing.
    if (target == m_copiedEq)
        return;
    QList<BandSnapshot> bands;
    for (int row = 0; row < m_copiedEq->maxBandCount(); ++row) {
        const RVEQBand *band = m_copiedEq->bandAt(row);
        if (band->isUsed())
            bands.append({band->frequency(), band->gain(), band->qualityFactor(), band->isEnabled(),
                          band->bandType()});
    }
    target->removeAllBands();
    for (const BandSnapshot &band : bands)
        target->addBand(band.frequency, band.gain, band.qualityFactor, band.isEnabled, band.type);
    target->setIsEnabled(m_copiedEq->isEnabled());
}

void WdxPreProcListModel::setSelectedChannelIndex(int channelIndex)
{
    for (int row = 0; row < rowCount(); ++row)
        preProcAt(row)->setIsSelected(preProcAt(row)->channelIndex() == channelIndex);
}

void WdxPreProcListModel::setSelectedBandId(int preProcIndex, int bandId)
{
    for (WdxPreProcItem *item : matchingItems(preProcIndex))
        item->eq()->selectBand(bandId);
}

void WdxPreProcListModel::setSelectedBandEnabled(int preProcIndex, bool enabled)
{
    for (WdxPreProcItem *item : matchingItems(preProcIndex)) {
        if (RVEQBand *band = item->eq()->bandAt(item->eq()->selectedBandId()))
            band->setIsEnabled(enabled);
    }
}

void WdxPreProcListModel::setSelectedBandType(int preProcIndex, int type)
{
    for (WdxPreProcItem *item : matchingItems(preProcIndex)) {
        RVEq *eq = item->eq();
        if (RVEQBand *band = eq->bandAt(eq->selectedBandId()))
            whileEditing(eq, [&] { band->setBandType(toByte(type)); });
    }
}

void WdxPreProcListModel::setSelectedBandValue(int preProcIndex, BandValue which, int value)
{
    for (WdxPreProcItem *item : matchingItems(preProcIndex)) {
        RVEq *eq = item->eq();
        RVEQBand *band = eq->bandAt(eq->selectedBandId());
        if (!band)
            continue;
        whileEditing(eq, [&] {
            switch (which) {
            case BandValue::Frequency: band->setFrequency(toByte(value)); break;
            case BandValue::Gain: band->setGain(toByte(value)); break;
            case BandValue::QualityFactor: band->setQualityFactor(toByte(value)); break;
            }
        });
        eq->orderByFrequency();
    }
}

void WdxPreProcListModel::setSelectedBandFrequency(int preProcIndex, int frequency)
{
    setSelectedBandValue(preProcIndex, BandValue::Frequency, frequency);
}

void WdxPreProcListModel::setSelectedBandGain(int preProcIndex, int gain)
{
    setSelectedBandValue(preProcIndex, BandValue::Gain, gain);
}

void WdxPreProcListModel::setSelectedBandQ(int preProcIndex, int qualityFactor)
{
    setSelectedBandValue(preProcIndex, BandValue::QualityFactor, qualityFactor);
}

void WdxPreProcListModel::addBand(int preProcIndex, int frequency, int gain, int qualityFactor)
{
    for (WdxPreProcItem *item : matchingItems(preProcIndex)) {
        RVEq *eq = item->eq();
        whileEditing(eq, [&] {
            eq->addBand(toByte(frequency), toByte(gain), toByte(qualityFactor), true, RVEQBand::Bell);
        });
    }
}

void WdxPreProcListModel::removeSelectedBand(int preProcIndex)
{
    for (WdxPreProcItem *item : matchingItems(preProcIndex)) {
        RVEq *eq = item->eq();
        const int selected = eq->selectedBandId();
        if (eq->bandAt(selected))
            whileEditing(eq, [&] { eq->removeBand(selected); });
    }
}

void WdxPreProcListModel::copySelectedBand(int preProcIndex)
{
    for (WdxPreProcItem *item : matchingItems(preProcIndex)) {
        RVEq *eq = item->eq();
        if (eq->bandAt(eq->selectedBandId()))
            eq->copyBand(eq->selectedBandId());
    }
}

void WdxPreProcListModel::pasteSelectedBand(int preProcIndex)
{
    for (WdxPreProcItem *item : matchingItems(preProcIndex)) {
        RVEq *eq = item->eq();
        const int selected = eq->selectedBandId();
        if (eq->bandAt(selected))
            whileEditing(eq, [&] { eq->pasteBand(selected); });
    }
}

bool WdxPreProcListModel::hasSameEq() const
{
    const WdxPreProcItem *first = preProcAt(0);
    const WdxPreProcItem *second = preProcAt(1);
    return first && second && first->eq()->isSameEq(*second->eq());
}

void WdxPreProcListModel::toggleLinkEq()
{
    m_isEqLinked = !m_isEqLinked;
    emit isEqLinkedChanged();
}
