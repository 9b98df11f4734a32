#include "RVEQBand.h"

#include "logger/QLoggerManager.h"

namespace {
const char kModule[] = "RVEQBand";
}

RVEQBand::RVEQBand(int bandIndex, QObject *parent)
    : ListItem(parent), m_displayIndex(bandIndex), m_deviceIndex(bandIndex),
      m_minQualityFactor(qualityFactorMinimumFor(m_bandType))
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");

    // Every change refreshes the band's row in the list.
    for (auto signal : {&RVEQBand::displayIndexChanged, &RVEQBand::frequencyChanged,
                        &RVEQBand::gainChanged, &RVEQBand::qualityFactorChanged,
                        &RVEQBand::bandTypeChanged, &RVEQBand::isEnabledChanged,
                        &RVEQBand::isMoreOpenChanged, &RVEQBand::isSelectedChanged,
                        &RVEQBand::isUsedChanged})
        connect(this, signal, this, &ListItem::dataChanged);
}

QString RVEQBand::id() const
{
    return QString::number(m_deviceIndex);
}

QString RVEQBand::isUsedString() const
{
    return m_isUsed ? QStringLiteral("true") : QStringLiteral("false");
}

QVariant RVEQBand::data(int role) const
{
    switch (role) {
    case IdRole: return id();
    case DeviceIndexRole: return m_deviceIndex;
    case DisplayIndexRole: return m_displayIndex;
    case FrequencyRole: return int(m_frequency);
    case GainRole: return int(m_gain);
    case QualityFactorRole: return int(m_qualityFactor);
    case BandTypeRole: return int(m_bandType);
    case IsEnabledRole: return m_isEnabled;
    case IsMoreOpenRole: return m_isMoreOpen;
    case IsSelectedRole: return m_isSelected;
    case IsUsedRole: return m_isUsed;
    case IsUsedStringRole: return isUsedString();
    default: return QVariant();
    }
}

QHash<int, QByteArray> RVEQBand::roleNames() const
{
    return {
        {IdRole, "id"},
        {DeviceIndexRole, "deviceIndex"},
        {DisplayIndexRole, "displayIndex"},
        {FrequencyRole, "frequency"},
        {GainRole, "gain"},
        {QualityFactorRole, "qualityFactor"},
        {BandTypeRole, "bandType"},
        {IsEnabledRole, "isEnabled"},
        {IsMoreOpenRole, "isMoreOpen"},
        {IsSelectedRole, "isSelected"},
        {IsUsedRole, "isUsed"},
        {IsUsedStringRole, "isUsedString"},
    };
}

quint8 RVEQBand::qualityFactorMinimumFor(quint8 type)
{
    // Bells and notches may be as narrow as the device allows; filters and shelves may not.
    return (type == Bell || type == Notch) ? 0 : 17;
}

void RVEQBand::copyFrom(const RVEQBand &other)
{
    updateFrequency(other.m_frequency);
    updateGain(other.m_gain);
    updateBandType(other.m_bandType);
    updateQualityFactor(other.m_qualityFactor);
    updateIsEnabled(other.m_isEnabled);
    updateIsUsed(other.m_isUsed);
}

bool RVEQBand::operator==(const RVEQBand &other) const
{
    return m_frequency == other.m_frequency && m_gain == other.m_gain
        && m_qualityFactor == other.m_qualityFactor && m_bandType == other.m_bandType;
}

bool RVEQBand::operator<(const RVEQBand &other) const
{
    if (m_frequency != other.m_frequency)
        return m_frequency < other.m_frequency;
    if (m_gain != other.m_gain)
        return m_gain < other.m_gain;
    if (m_qualityFactor != other.m_qualityFactor)
        return m_qualityFactor < other.m_qualityFactor;
    return m_bandType < other.m_bandType;
}

void RVEQBand::updateDisplayIndex(int value)
{
    if (m_displayIndex == value)
        return;
    m_displayIndex = value;
    emit displayIndexChanged();
}

void RVEQBand::updateFrequency(quint8 value)
{
    if (m_frequency == value)
        return;
    m_frequency = value;
    emit frequencyChanged();
}

void RVEQBand::updateGain(quint8 value)
{
    if (m_gain == value)
        return;
    m_gain = value;
    emit gainChanged();
}

void RVEQBand::updateQualityFactor(quint8 value)
{
    if (m_qualityFactor == value)
        return;
    m_qualityFactor = value;
    emit qualityFactorChanged();
}

void RVEQBand::updateBandType(quint8 value)
{
    if (m_bandType == value)
        return;
    m_logger->debug(kModule, __func__, QStringLiteral("updating band type value to %1").arg(value));
    m_bandType = value;
    m_minQualityFactor = qualityFactorMinimumFor(value);
    emit bandTypeChanged();
}

void RVEQBand::updateIsEnabled(bool value)
{
    if (m_isEnabled == value)
        return;
    m_logger->debug(kModule, __func__,
                    QStringLiteral("updating band isEnabled value to %1").arg(value ? "true" : "false"));
    m_isEnabled = value;
    emit isEnabledChanged();
}

void RVEQBand::updateIsUsed(bool value)
{
    if (m_isUsed == value)
        return;
    m_isUsed = value;
    emit isUsedChanged();
    emit isUsedStringChanged();
}

void RVEQBand::setFrequency(quint8 value)
{
    updateFrequency(value);
    // Written even when unchanged: the device may hold something else than the editor shows.
    emit notifyRequestToWrite();
}

void RVEQBand::setGain(quint8 value)
{
    updateGain(value);
    emit notifyRequestToWrite();
}

void RVEQBand::setQualityFactor(quint8 value)
{
    updateQualityFactor(value);
    emit notifyRequestToWrite();
}

void RVEQBand::setBandType(quint8 value)
{
    if (m_bandType == value)
        return;
    const quint8 minimum = qualityFactorMinimumFor(value);
    m_minQualityFactor = minimum;
    // Raised silently: the type change below refreshes the whole row anyway.
    if (minimum > m_qualityFactor)
        m_qualityFactor = minimum;
    updateBandType(value);
    emit notifyRequestToWrite();
}

void RVEQBand::setIsEnabled(bool value)
{
    if (m_isEnabled == value)
        return;
    updateIsEnabled(value);
    emit notifyRequestToWrite();
}

void RVEQBand::setIsUsed(bool value)
{
    if (m_isUsed == value)
        return;
    m_isUsed = value;
    emit isUsedStringChanged();
    emit isUsedChanged();
    emit notifyRequestToWrite();
}

void RVEQBand::setIsMoreOpen(bool value)
{
    if (m_isMoreOpen == value)
        return;
    m_isMoreOpen = value;
    emit isMoreOpenChanged();
}

void RVEQBand::setIsSelected(bool value)
{
    if (m_isSelected == value)
        return;
    m_isSelected = value;
    emit isSelectedChanged();
}
