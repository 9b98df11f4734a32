#include "WdxOutputListModel.h"

#include "WdxOutputItem.h"
#include "logger/QLoggerManager.h"

namespace {
const char kModule[] = "WdxOutputListModel";
}

WdxOutputListModel::WdxOutputListModel(QObject *parent)
    : ListModel(new WdxOutputItem(0), parent)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");
}

WdxOutputItem *WdxOutputListModel::outputAt(int row) const
{
    return static_cast<WdxOutputItem *>(itemAt(row));
}

void WdxOutputListModel::setAbsoluteLink(bool absoluteLink)
{
    if (m_absoluteLink == absoluteLink)
        return;
    m_absoluteLink = absoluteLink;
    m_logger->debug(kModule, __func__,
                    QStringLiteral("Link mode %1").arg(absoluteLink ? "absolute" : "relative"));
}

QList<WdxOutputItem *> WdxOutputListModel::linkedPeers(const WdxOutputItem *item) const
{
    QList<WdxOutputItem *> peers;
    if (!item->isLinked())
        return peers;
    for (int row = 0; row < rowCount(); ++row) {
        WdxOutputItem *other = outputAt(row);
        if (other->isLinked() && other->channelIndex() != item->channelIndex())
            peers.append(other);
    }
    return peers;
}

void WdxOutputListModel::setGain(int outputIndex, quint8 gain)
{
    WdxOutputItem *item = outputAt(outputIndex);
    if (!item)
        return;
    const quint8 old = item->gain();
    item->setGain(gain);
    const qint8 step = qint8(gain - old);
    for (WdxOutputItem *peer : linkedPeers(item)) {
        if (m_absoluteLink) {
            peer->setGain(gain);
            continue;
        }
        const int moved = int(peer->gain()) + step;
        peer->setGain(quint8(qBound(0, moved, int(WdxOutputItem::kMaxGain))));
    }
}

void WdxOutputListModel::setDelay(int outputIndex, quint16 delay)
{
    WdxOutputItem *item = outputAt(outputIndex);
    if (!item)
        return;
    const quint16 old = item->delay();
    item->setDelay(delay);
    const qint16 step = qint16(delay - old);
    for (WdxOutputItem *peer : linkedPeers(item)) {
        if (m_absoluteLink) {
            peer->setDelay(delay);
            continue;
        }
        const int moved = int(peer->delay()) + step;
        peer->setDelay(quint16(qBound(0, moved, int(WdxOutputItem::kMaxLinkedDelay))));
    }
}

void WdxOutputListModel::setCompressorThreshold(int outputIndex, quint8 threshold)
{
    WdxOutputItem *item = outputAt(outputIndex);
    if (!item)
        return;
    item->setCompressionThreshold(threshold);
    for (WdxOutputItem *peer : linkedPeers(item))
        peer->setCompressionThreshold(threshold);
}

void WdxOutputListModel::setCompressorRatio(int outputIndex, quint8 ratio)
{
    WdxOutputItem *item = outputAt(outputIndex);
    if (!item)
        return;
    item->setCompressionRatio(ratio);
    for (WdxOutputItem *peer : linkedPeers(item))
        peer->setCompressionRatio(ratio);
}

void WdxOutputListModel::setIsLinked(int outputIndex, bool isLinked)
{
    if (WdxOutputItem *item = outputAt(outputIndex))
        item->setIsLinked(isLinked);
}

void WdxOutputListModel::setSpeakerVariant(int outputIndex, quint8 variant)
{
    if (WdxOutputItem *item = outputAt(outputIndex))
        item->setSpeakerVariant(variant);
}

void WdxOutputListModel::setSpeakerName(int outputIndex, const QString &speakerId)
{
    if (WdxOutputItem *item = outputAt(outputIndex))
        item->setSpeakerId(speakerId);
}

void WdxOutputListModel::setUnitOfMeasure(int unitIndex)
{
    for (int row = 0; row < rowCount(); ++row)
        outputAt(row)->setDelayUnitOfMeasureIndex(unitIndex);
}

void WdxOutputListModel::setSelectedChannelIndex(int channelIndex)
{
    for (int row = 0; row < rowCount(); ++row)
        outputAt(row)->setIsSelected(outputAt(row)->channelIndex() == channelIndex);
}
