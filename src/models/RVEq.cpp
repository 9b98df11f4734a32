#include "RVEq.h"

#include "RVEQBand.h"
#include "RVEQBandListModel.h"
#include "logger/QLoggerManager.h"

#include <algorithm>

namespace {
const char kModule[] = "RVEq";
}

RVEq::RVEq(QObject *parent) : QObject(parent)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");

    m_bandList = new RVEQBandListModel(this);
    createBands(m_maxBandCount);
    connect(m_bandList, &QAbstractItemModel::dataChanged, this, &RVEq::onDataChanged);
}

RVEq::~RVEq()
{
    // The bands go before this object stops being an RVEq; nothing reaches it meanwhile.
    m_bandList->disconnect(this);
    delete m_bandList;
    m_bandList = nullptr;
}

void RVEq::createBands(int count)
{
    QList<ListItem *> bands;
    for (int i = 0; i < count; ++i) {
        auto *band = new RVEQBand(i, this);
        connect(band, &RVEQBand::isUsedChanged, this, &RVEq::usedBandCountChanged);
        connect(band, &RVEQBand::isUsedChanged, this, &RVEq::isFullChanged);
        connect(band, &RVEQBand::isUsedChanged, this, &RVEq::hasMoreOpenChanged);
        connect(band, &RVEQBand::isUsedChanged, this, &RVEq::moreOpenIndexChanged);
        connect(band, &RVEQBand::isMoreOpenChanged, this, &RVEq::moreOpenIndexChanged);
        connect(band, &RVEQBand::isMoreOpenChanged, this, &RVEq::hasMoreOpenChanged);
        connect(band, &RVEQBand::notifyRequestToWrite, this, &RVEq::composeWriteRequest);
        connect(band, &RVEQBand::isSelectedChanged, this, &RVEq::onSelectedBandChanged);
        bands.append(band);
    }
    m_bandList->appendRows(bands);
}

void RVEq::setMaxBandCount(int count)
{
    if (count < 0)
        return;
    // The scene may ask for more; rows past the device's would be written as bands it lacks.
    count = qMin(count, int(kDefaultBandCount));
    if (count == m_maxBandCount)
        return;
    m_orderMap.clear();
    m_bandList->clear();
    m_maxBandCount = count;
    createBands(count);
    setSelectedBandId(-1);
    orderByFrequency();
    emit maxBandCountChanged();
    emit bandListChanged();
    emit usedBandCountChanged();
    emit isFullChanged();
    emit hasMoreOpenChanged();
    emit moreOpenIndexChanged();
}

void RVEq::setIsEnabled(bool enabled)
{
    if (m_isEnabled == enabled)
        return;
    m_isEnabled = enabled;
    emit isEnabledChanged();
    emit dataChanged();
    composeWriteRequest();
}

int RVEq::usedBandCount() const
{
    int count = 0;
    for (int row = 0; row < m_bandList->rowCount(); ++row) {
        if (bandAt(row)->isUsed())
            ++count;
    }
    return count;
}

bool RVEq::hasMoreOpen() const
{
    return moreOpenIndex() != -1;
}

int RVEq::moreOpenIndex() const
{
    for (int row = 0; row < m_bandList->rowCount(); ++row) {
        const RVEQBand *band = bandAt(row);
        if (band->isMoreOpen())
            return band->displayIndex();
    }
    return -1;
}

void RVEq::setIsEditing(bool editing)
{
    if (m_isEditing == editing)
        return;
    m_isEditing = editing;
    emit isEditingChanged();
}

bool RVEq::isSameEq(const RVEq &other) const
{
    if (m_isEnabled != other.m_isEnabled || usedBandCount() != other.usedBandCount())
        return false;
    const int rows = qMax(m_bandList->rowCount(), other.m_bandList->rowCount());
    for (int row = 0; row < rows; ++row) {
        const RVEQBand *mine = bandAt(row);
        const RVEQBand *theirs = other.bandAt(row);
        const bool used = (mine && mine->isUsed()) || (theirs && theirs->isUsed());
        if (!used)
            continue;
        if (!mine || !theirs || *mine != *theirs)
            return false;
    }
    return true;
}

bool RVEq::addBand(quint8 frequency, quint8 gain, quint8 qualityFactor, bool isEnabled, quint8 type)
{
    if (usedBandCount() >= m_maxBandCount) {
        orderByFrequency();
        return false;
    }
    RVEQBand *band = nullptr;
    for (int row = 0; row < m_bandList->rowCount() && !band; ++row) {
        if (!bandAt(row)->isUsed())
            band = bandAt(row);
    }
    if (!band)
        return false;
    band->setIsMoreOpen(false);
    band->updateFrequency(frequency);
    band->updateGain(gain);
    band->updateIsEnabled(isEnabled);
    band->updateQualityFactor(qualityFactor);
    band->updateBandType(type);
    band->updateIsUsed(true);
    selectBand(band->deviceIndex());
    orderByFrequency();
    composeWriteRequest();
    return true;
}

void RVEq::removeBand(int index)
{
    RVEQBand *band = bandAt(index);
    if (!band)
        return;
    band->setIsMoreOpen(false);
    band->updateIsEnabled(false);
    band->updateIsUsed(false);
    band->setIsSelected(false);
    if (m_selectedBandId == index)
        setSelectedBandId(-1);
    orderByFrequency();
    composeWriteRequest();
}

void RVEq::removeAllBands()
{
    for (int row = 0; row < m_bandList->rowCount(); ++row) {
        RVEQBand *band = bandAt(row);
        band->setIsMoreOpen(false);
        band->updateIsEnabled(false);
        band->updateIsUsed(false);
        band->setIsSelected(false);
    }
    setSelectedBandId(-1);
    orderByFrequency();
    composeWriteRequest();
}

void RVEq::setIsMoreOpen(int index, bool isMoreOpen)
{
    if (!bandAt(index))
        return;
    for (int row = 0; row < m_bandList->rowCount(); ++row) {
        RVEQBand *band = bandAt(row);
        if (band->isUsed())
            band->setIsMoreOpen(isMoreOpen && band->deviceIndex() == index);
    }
}

void RVEq::copyBand(int index)
{
    const RVEQBand *band = bandAt(index);
    if (!band)
        return;
    if (!m_copiedBand)
        m_copiedBand = new RVEQBand(-1, this);
    m_copiedBand->copyFrom(*band);
    emit hasCopyChanged();
}

void RVEq::pasteBand(int index)
{
    RVEQBand *band = bandAt(index);
    if (!band || !m_copiedBand)
        return;
    // Only the row changes: display order and the write are the caller's.
    band->copyFrom(*m_copiedBand);
}

void RVEq::clearCopyBand()
{
    if (!m_copiedBand)
        return;
    delete m_copiedBand;
    m_copiedBand = nullptr;
    emit hasCopyChanged();
}

void RVEq::clearMoreOpen()
{
    for (int row = 0; row < m_bandList->rowCount(); ++row)
        bandAt(row)->setIsMoreOpen(false);
}

void RVEq::clearSelected()
{
    for (int row = 0; row < m_bandList->rowCount(); ++row)
        bandAt(row)->setIsSelected(false);
    setSelectedBandId(-1);
}

void RVEq::selectBand(int index)
{
    RVEQBand *selected = bandAt(index);
    if (!selected)
        return;
    for (int row = 0; row < m_bandList->rowCount(); ++row) {
        RVEQBand *band = bandAt(row);
        if (band->deviceIndex() != index) {
            band->setIsSelected(false);
            band->setIsMoreOpen(false);
        }
    }
    selected->setIsSelected(true);
    m_logger->debug(kModule, __func__,
                    QStringLiteral("Selecting band %1 for channel %2").arg(index).arg(m_channelIndex));
    setSelectedBandId(index);
}

void RVEq::selectFirstUsedBand()
{
    if (m_orderMap.isEmpty())
        clearSelected();
    else
        selectBand(m_orderMap.first()->deviceIndex());
}

void RVEq::selectLastUsedBand()
{
    if (m_orderMap.isEmpty())
        clearSelected();
    else
        selectBand(m_orderMap.last()->deviceIndex());
}

void RVEq::selectNextBand()
{
    if (m_orderMap.isEmpty())
        return;
    for (auto it = m_orderMap.cbegin(); it != m_orderMap.cend(); ++it) {
        if (it.value()->deviceIndex() != m_selectedBandId)
            continue;
        auto next = std::next(it);
        if (next != m_orderMap.cend()) {
            selectBand(next.value()->deviceIndex());
            return;
        }
        break;
    }
    selectBand(m_orderMap.first()->deviceIndex());
}

bool RVEq::existBandAtFrequency(quint8 frequency) const
{
    for (int row = 0; row < m_bandList->rowCount(); ++row) {
        if (bandAt(row)->frequency() == frequency)
            return true;
    }
    return false;
}

RVEQBand *RVEq::bandAt(int index) const
{
    if (index < 0 || index >= m_maxBandCount)
        return nullptr;
    return static_cast<RVEQBand *>(m_bandList->itemAt(index));
}

void RVEq::orderByFrequency()
{
    m_orderMap.clear();
    QList<RVEQBand *> used;
    for (int row = 0; row < m_bandList->rowCount(); ++row) {
        if (bandAt(row)->isUsed())
            used.append(bandAt(row));
    }
    // Stable, so equal bands keep their slot order.
    std::stable_sort(used.begin(), used.end(),
                     [](const RVEQBand *a, const RVEQBand *b) { return *a < *b; });
    for (int i = 0; i < used.size(); ++i) {
        used.at(i)->updateDisplayIndex(i + 1);
        m_orderMap.insert(i + 1, used.at(i));
    }
    const int last = m_orderMap.isEmpty() ? -1 : int(m_orderMap.last()->frequency());
    if (last != m_lastUsedFrequency) {
        m_lastUsedFrequency = last;
        emit lastUsedFrequencyChanged();
    }
}

void RVEq::onEqRead(int channelIndex, bool isEnabled, QList<WdxEqBand *> bands)
{
    // The records are lent: the sub-controller that made them releases them once every
    // receiver has seen them, whether applied, discarded or meant for another channel.
    if (channelIndex != int(m_channelIndex))
        return;
    if (m_isEditing || m_lastWriteTime.elapsed() < kReplyGuardMs) {
        m_logger->debug(kModule, __func__, "editor under use, reply discarded");
        return;
    }
    if (isEnabled != m_isEnabled) {
        m_isEnabled = isEnabled;
        emit isEnabledChanged();
        emit dataChanged();
    }
    // The record count comes from the device's answer: rows without a record keep their
    // values and records past the last row are dropped.
    const int rows = qMin(m_bandList->rowCount(), bands.size());
    for (int i = 0; i < rows; ++i) {
        const WdxEqBand *record = bands.at(i);
        if (!record)
            continue;
        RVEQBand *band = bandAt(i);
        band->updateBandType(record->type());
        band->updateFrequency(record->frequency());
        band->updateGain(record->gain());
        band->updateQualityFactor(record->qualityFactor());
        band->updateIsEnabled(record->isEnabled());
        band->updateIsUsed(record->isUsed());
    }
    orderByFrequency();
}

void RVEq::composeWriteRequest()
{
    QList<WdxEqBand *> records;
    for (int row = 0; row < m_bandList->rowCount(); ++row) {
        const RVEQBand *band = bandAt(row);
        auto *record = new WdxEqBand(this);
        record->setType(band->bandType());
        record->setFrequency(band->frequency());
        record->setGain(band->gain());
        record->setQualityFactor(band->qualityFactor());
        record->setUsed(band->isUsed());
        record->setEnabled(band->isEnabled());
        records.append(record);
    }
    m_lastWriteTime.restart();
    emit notifyRequestToWrite(m_channelIndex, m_isEnabled, records);
}

void RVEq::onDataChanged()
{
    m_logger->trace(kModule, __func__, QStringLiteral("Data changed for channel %1").arg(m_channelIndex));
    emit dataChanged();
}

void RVEq::onSelectedBandChanged()
{
    const auto *band = qobject_cast<RVEQBand *>(sender());
    if (band && band->isSelected() && band->deviceIndex() != m_selectedBandId) {
        m_selectedBandId = band->deviceIndex();
        emit selectedBandIdChanged();
    }
}

void RVEq::setSelectedBandId(int id)
{
    if (m_selectedBandId == id)
        return;
    m_selectedBandId = id;
    emit selectedBandIdChanged();
}
