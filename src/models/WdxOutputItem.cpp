#include "WdxOutputItem.h"

#include "logger/QLoggerManager.h"

#include <cmath>

namespace {
const char kModule[] = "WdxOutputItem";

template<typename T>
bool store(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
}

const QString WdxOutputItem::kNoSpeakerId = QStringLiteral("   ");

WdxOutputItem::WdxOutputItem(int channelIndex, QObject *parent)
    : ListItem(parent), m_channelIndex(channelIndex)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");
}

QString WdxOutputItem::id() const
{
    return QString::number(m_channelIndex + 1);
}

QVariant WdxOutputItem::data(int role) const
{
    switch (role) {
    case ChannelIndexRole: return m_channelIndex;
    case NameRole: return m_name;
    case SpeakerVariantRole: return int(m_speakerVariant);
    case SpeakerIdRole: return m_speakerId;
    case OutputLevelRole: return int(m_outputLevel);
    case CompressionLevelRole: return int(m_compressionLevel);
    case CompressionRatioRole: return int(m_compressionRatio);
    case CompressionDecayRole: return int(m_compressionDecay);
    case CompressionThresholdRole: return int(m_compressionThreshold);
    case IsCustomCompressionEnabledRole: return m_isCustomCompressionEnabled;
    case DelayRole: return int(m_delay);
    case GainRole: return int(m_gain);
    case HwGainRole: return int(m_frontPanelGain);
    case IsLinkedRole: return m_isLinked;
    case HasBackupRole: return m_hasBackup;
    case IsSelectedRole: return m_isSelected;
    case DelayUnitOfMeasureIndexRole: return m_delayUnitOfMeasureIndex;
    case PatchRole: return int(m_patch);
    default: return QVariant();
    }
}

QHash<int, QByteArray> WdxOutputItem::roleNames() const
{
    return {
        {ChannelIndexRole, "channelIndex"},
        {NameRole, "name"},
        {SpeakerVariantRole, "speakerVariant"},
        {SpeakerIdRole, "speakerId"},
        {OutputLevelRole, "outputLevel"},
        {CompressionLevelRole, "compressionLevel"},
        {CompressionRatioRole, "compressionRatio"},
        {CompressionDecayRole, "compressionDecay"},
        {CompressionThresholdRole, "compressionThreshold"},
        {IsCustomCompressionEnabledRole, "isCustomCompressionEnabled"},
        {DelayRole, "delay"},
        {GainRole, "gain"},
        {HwGainRole, "hwGainRole"},
        {IsLinkedRole, "isLinked"},
        {HasBackupRole, "hasBackup"},
        {IsSelectedRole, "IsSelected"},
        {DelayUnitOfMeasureIndexRole, "delayUnitOfMeasureIndex"},
        {PatchRole, "patch"},
    };
}

bool WdxOutputItem::gainReportAllowed() const
{
    return !m_isEditingGain && m_gainEditTime.elapsed() >= kEditGuardMs;
}

bool WdxOutputItem::delayReportAllowed() const
{
    return !m_isEditingDelay && m_delayEditTime.elapsed() >= kEditGuardMs;
}

bool WdxOutputItem::speakerVariantReportAllowed() const
{
    return !m_isEditingSpeakerVariant && m_speakerVariantEditTime.elapsed() >= kEditGuardMs;
}

bool WdxOutputItem::speakerIdReportAllowed() const
{
    // Held back only after the user's own choice: the first report of a fresh model counts.
    return !m_isEditingSpeaker && (!m_speakerIdChosen || m_speakerIdEditTime.elapsed() >= kEditGuardMs);
}

// Device reports ---------------------------------------------------------------------------

void WdxOutputItem::updateName(const QString &name)
{
    if (store(m_name, name)) {
        emit nameChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateSpeakerVariant(quint8 value)
{
    if (store(m_speakerVariant, value)) {
        emit speakerVariantChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateSpeakerId(const QString &value)
{
    if (store(m_speakerId, value)) {
        emit speakerIdChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateOutputLevel(quint8 value)
{
    if (store(m_outputLevel, value)) {
        emit outputLevelChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateCompressionLevel(quint8 value)
{
    if (store(m_compressionLevel, value)) {
        emit compressionLevelChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateCompressionRatio(quint8 value)
{
    if (store(m_compressionRatio, value)) {
        emit compressionRatioChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateCompressionThreshold(quint8 value)
{
    if (store(m_compressionThreshold, value)) {
        emit compressionThresholdChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateCompressionDecay(quint8 value)
{
    if (store(m_compressionDecay, value)) {
        emit compressionDecayChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateIsCustomCompressionEnabled(bool value)
{
    if (store(m_isCustomCompressionEnabled, value)) {
        emit isCustomCompressionEnabledChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateDelay(quint16 value)
{
    if (store(m_delay, value)) {
        emit delayChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateGain(quint8 value)
{
    if (store(m_gain, value)) {
        emit gainChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updateFrontPanelGain(quint8 value)
{
    if (store(m_frontPanelGain, value)) {
        emit frontPanelGainChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::updatePatch(quint8 value)
{
    if (store(m_patch, value)) {
        emit patchChanged();
        emit dataChanged();
    }
}

// User edits -------------------------------------------------------------------------------

void WdxOutputItem::setGain(quint8 value)
{
    if (m_gain == value)
        return;
    updateGain(value);
    emit notifyRequestToWriteGain();
    m_gainEditTime.restart();
}

void WdxOutputItem::setDelay(quint16 value)
{
    if (m_delay == value)
        return;
    updateDelay(value);
    emit notifyRequestToWriteDelay();
    m_delayEditTime.restart();
}

void WdxOutputItem::setPatch(quint8 value)
{
    if (m_patch == value)
        return;
    updatePatch(value);
    emit notifyRequestToWritePatch();
    m_patchEditTime.restart();
}

void WdxOutputItem::setCompressionRatio(quint8 value)
{
    if (m_compressionRatio == value)
        return;
    updateCompressionRatio(value);
    compressorEdited();
}

void WdxOutputItem::setCompressionThreshold(quint8 value)
{
    if (m_compressionThreshold == value)
        return;
    updateCompressionThreshold(value);
    compressorEdited();
}

void WdxOutputItem::setCompressionDecay(quint8 value)
{
    if (m_compressionDecay == value)
        return;
    updateCompressionDecay(value);
    compressorEdited();
}

void WdxOutputItem::setCompressionDecayFromReal(float value)
{
    if (!std::isfinite(value))
        return;
    setCompressionDecay(quint8(qBound(0, int(std::lround(value)), 255)));
}

void WdxOutputItem::compressorEdited()
{
    if (m_backup)
        recomputeHasBackup();
    emit notifyRequestToWriteCompressor();
    m_compressorEditTime.restart();
}

void WdxOutputItem::setIsCustomCompressionEnabled(bool value)
{
    if (m_isCustomCompressionEnabled == value)
        return;
    updateIsCustomCompressionEnabled(value);
    emit notifyRequestToWriteCompressor();
    m_compressorEditTime.restart();
}

void WdxOutputItem::setSpeakerVariant(quint8 value)
{
    updateSpeakerVariant(value);
    // Requested even when unchanged: the two main outputs share one variant on the device.
    emit notifyRequestToWriteSpeakerVariant();
    m_speakerVariantEditTime.restart();
}

void WdxOutputItem::setSpeakerId(const QString &value)
{
    m_previousSpeakerId = m_speakerId;
    updateSpeakerId(value);
    emit notifyRequestToWriteSpeakerPreset();
    m_speakerIdEditTime.restart();
    m_speakerIdChosen = true;
}

void WdxOutputItem::undoSetSpeakerId()
{
    updateSpeakerId(m_previousSpeakerId);
}

void WdxOutputItem::setIsLinked(bool value)
{
    if (store(m_isLinked, value)) {
        emit isLinkedChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::setIsSelected(bool value)
{
    if (store(m_isSelected, value)) {
        emit isSelectedChanged();
        emit dataChanged();
    }
}

void WdxOutputItem::setDelayUnitOfMeasureIndex(int value)
{
    if (store(m_delayUnitOfMeasureIndex, value)) {
        emit delayUnitOfMeasureIndexChanged();
        emit dataChanged();
    }
}

// Compressor backup ------------------------------------------------------------------------

void WdxOutputItem::saveBackup()
{
    m_backup = CompressorBackup{m_compressionDecay, m_compressionRatio, m_compressionThreshold};
    recomputeHasBackup();
}

void WdxOutputItem::restoreBackup()
{
    if (!m_backup)
        return;
    const CompressorBackup backup = *m_backup;
    setCompressionDecay(backup.decay);
    setCompressionRatio(backup.ratio);
    setCompressionThreshold(backup.threshold);
    recomputeHasBackup();
}

void WdxOutputItem::recomputeHasBackup()
{
    const bool differs = m_backup
        && (m_backup->decay != m_compressionDecay || m_backup->threshold != m_compressionThreshold
            || m_backup->ratio != m_compressionRatio);
    if (store(m_hasBackup, differs)) {
        emit hasBackupChanged();
        emit dataChanged();
    }
}

// Meters, reset and device replies ---------------------------------------------------------

void WdxOutputItem::resetVuMeters()
{
    updateOutputLevel(0);
    updateCompressionLevel(0);
}

void WdxOutputItem::reset()
{
    updateOutputLevel(0);
    updateCompressionLevel(0);
    updateCompressionRatio(0);
    updateCompressionThreshold(kDefaultThreshold);
    updateCompressionDecay(0);
    updateIsCustomCompressionEnabled(false);
    updateDelay(0);
    updateGain(0);
    updateSpeakerId(kNoSpeakerId);
    updateSpeakerVariant(0);
    updatePatch(0);
}

void WdxOutputItem::onPatchRead(int channelIndex, quint8 value)
{
    if (channelIndex != m_channelIndex || m_isEditingPatch || m_patchEditTime.elapsed() < kEditGuardMs)
        return;
    updatePatch(value);
}

void WdxOutputItem::onCompressorRead(int channelId, quint8 ratio, quint8 decay, quint8 threshold,
                                     bool isEnabled)
{
    if (channelId != m_channelIndex || m_isEditingCompressor
        || m_compressorEditTime.elapsed() < kEditGuardMs)
        return;
    updateCompressionRatio(ratio);
    updateCompressionDecay(decay);
    updateCompressionThreshold(threshold);
    updateIsCustomCompressionEnabled(isEnabled);
}
