#pragma once

#include "EditTimer.h"
#include "ListItem.h"

#include <optional>

namespace QLogger { class QLoggerManager; }

// One output of the device (two mains and a sub): meters, gain, delay, patch, compressor and
// speaker preset. "update" setters take device reports; "set" setters take user edits, raise
// a write request and start the window in which device reports of that group are held back.
class WdxOutputItem : public ListItem
{
    Q_OBJECT
    Q_PROPERTY(int channelIndex READ channelIndex CONSTANT)
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    Q_PROPERTY(quint8 speakerVariant READ speakerVariant WRITE setSpeakerVariant NOTIFY speakerVariantChanged)
    Q_PROPERTY(QString speakerId READ speakerId WRITE setSpeakerId NOTIFY speakerIdChanged)
    Q_PROPERTY(quint8 outputLevel READ outputLevel NOTIFY outputLevelChanged)
    Q_PROPERTY(quint8 compressionLevel READ compressionLevel NOTIFY compressionLevelChanged)
    Q_PROPERTY(quint8 compressionRatio READ compressionRatio WRITE setCompressionRatio NOTIFY compressionRatioChanged)
    Q_PROPERTY(quint8 compressionThreshold READ compressionThreshold WRITE setCompressionThreshold NOTIFY compressionThresholdChanged)
    Q_PROPERTY(float compressionDecay READ compressionDecayAsReal WRITE setCompressionDecayFromReal NOTIFY compressionDecayChanged)
    Q_PROPERTY(bool isCustomCompressionEnabled READ isCustomCompressionEnabled WRITE setIsCustomCompressionEnabled NOTIFY isCustomCompressionEnabledChanged)
    Q_PROPERTY(quint16 delay READ delay WRITE setDelay NOTIFY delayChanged)
    Q_PROPERTY(quint8 gain READ gain WRITE setGain NOTIFY gainChanged)
    Q_PROPERTY(quint8 frontPanelGain READ frontPanelGain NOTIFY frontPanelGainChanged)
    Q_PROPERTY(bool isLinked READ isLinked WRITE setIsLinked NOTIFY isLinkedChanged)
    Q_PROPERTY(bool hasBackup READ hasBackup NOTIFY hasBackupChanged)
    Q_PROPERTY(bool isSelected READ isSelected WRITE setIsSelected NOTIFY isSelectedChanged)
    Q_PROPERTY(quint8 patch READ patch WRITE setPatch NOTIFY patchChanged)
    Q_PROPERTY(int delayUnitOfMeasureIndex READ delayUnitOfMeasureIndex WRITE setDelayUnitOfMeasureIndex NOTIFY delayUnitOfMeasureIndexChanged)
public:
    enum Roles {
        ChannelIndexRole = Qt::UserRole + 1,
        NameRole,
        SpeakerVariantRole,
        SpeakerIdRole,
        OutputLevelRole,
        CompressionLevelRole,
        CompressionRatioRole,
        CompressionDecayRole,
        CompressionThresholdRole,
        IsCustomCompressionEnabledRole,
        DelayRole,
        GainRole,
        HwGainRole,
        IsLinkedRole,
        HasBackupRole,
        IsSelectedRole,
        DelayUnitOfMeasureIndexRole,
        PatchRole
    };

    // Device reports within this many milliseconds of the user's edit are not applied.
    static constexpr qint64 kEditGuardMs = 1000;
    static constexpr quint8 kMaxGain = 72;
    static constexpr quint16 kMaxLinkedDelay = 2400;
    static constexpr quint8 kDefaultThreshold = 18;
    static const QString kNoSpeakerId; // three spaces

    explicit WdxOutputItem(int channelIndex = 0, QObject *parent = nullptr);

    QString id() const override;
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int channelIndex() const { return m_channelIndex; }
    QString name() const { return m_name; }
    quint8 speakerVariant() const { return m_speakerVariant; }
    QString speakerId() const { return m_speakerId; }
    QString previousSpeakerId() const { return m_previousSpeakerId; }
    quint8 outputLevel() const { return m_outputLevel; }
    quint8 compressionLevel() const { return m_compressionLevel; }
    quint8 compressionRatio() const { return m_compressionRatio; }
    quint8 compressionThreshold() const { return m_compressionThreshold; }
    quint8 compressionDecay() const { return m_compressionDecay; }
    bool isCustomCompressionEnabled() const { return m_isCustomCompressionEnabled; }
    quint16 delay() const { return m_delay; }
    quint8 gain() const { return m_gain; }
    quint8 frontPanelGain() const { return m_frontPanelGain; }
    quint8 patch() const { return m_patch; }
    bool isLinked() const { return m_isLinked; }
    int delayUnitOfMeasureIndex() const { return m_delayUnitOfMeasureIndex; }
    bool hasBackup() const { return m_hasBackup; }
    bool isSelected() const { return m_isSelected; }

    // Whether a device report of the gain / delay would overwrite a fresh user edit. The
    // device model distributes those reports; the item only knows when the user last edited.
    bool gainReportAllowed() const;
    bool delayReportAllowed() const;
    bool speakerVariantReportAllowed() const;
    bool speakerIdReportAllowed() const;

    Q_INVOKABLE void saveBackup();
    Q_INVOKABLE void restoreBackup();
    Q_INVOKABLE void undoSetSpeakerId();
    Q_INVOKABLE void setIsEditingGain(bool editing) { m_isEditingGain = editing; }
    Q_INVOKABLE void setIsEditingDelay(bool editing) { m_isEditingDelay = editing; }
    Q_INVOKABLE void setIsEditingCompressor(bool editing) { m_isEditingCompressor = editing; }
    Q_INVOKABLE void setIsEditingSpeaker(bool editing) { m_isEditingSpeaker = editing; }
    Q_INVOKABLE void setIsEditingSpeakerVariant(bool editing) { m_isEditingSpeakerVariant = editing; }
    Q_INVOKABLE void setIsEditingPatch(bool editing) { m_isEditingPatch = editing; }
    Q_INVOKABLE void resetVuMeters();
    // Device gone: back to the values of a fresh item, except name, front-panel gain, link,
    // selection, unit and backup.
    void reset();

public slots:
    void updateName(const QString &name);
    void updateSpeakerVariant(quint8 value);
    void updateSpeakerId(const QString &value);
    void updateOutputLevel(quint8 value);
    void updateCompressionLevel(quint8 value);
    void updateCompressionRatio(quint8 value);
    void updateCompressionThreshold(quint8 value);
    void updateCompressionDecay(quint8 value);
    void updateIsCustomCompressionEnabled(bool value);
    void updateDelay(quint16 value);
    void updateGain(quint8 value);
    void updateFrontPanelGain(quint8 value);
    void updatePatch(quint8 value);

    void setGain(quint8 value);
    void setDelay(quint16 value);
    void setPatch(quint8 value);
    void setCompressionRatio(quint8 value);
    void setCompressionThreshold(quint8 value);
    void setCompressionDecay(quint8 value);
    void setIsCustomCompressionEnabled(bool value);
    void setSpeakerVariant(quint8 value);
    void setSpeakerId(const QString &value);
    void setIsLinked(bool value);
    void setIsSelected(bool value);
    void setDelayUnitOfMeasureIndex(int value);

    void onPatchRead(int channelIndex, quint8 value);
    void onCompressorRead(int channelId, quint8 ratio, quint8 decay, quint8 threshold, bool isEnabled);

signals:
    void nameChanged();
    void speakerVariantChanged();
    void speakerIdChanged();
    void outputLevelChanged();
    void compressionLevelChanged();
    void compressionRatioChanged();
    void compressionThresholdChanged();
    void compressionDecayChanged();
    void isCustomCompressionEnabledChanged();
    void delayChanged();
    void gainChanged();
    void frontPanelGainChanged();
    void outputModeChanged();
    void isLinkedChanged();
    void hasBackupChanged();
    void delayUnitOfMeasureIndexChanged();
    void isSelectedChanged();
    void patchChanged();
    void notifyRequestToWriteSpeakerVariant();
    void notifyRequestToWriteSpeakerPreset();
    void notifyRequestToWriteMode();
    void notifyRequestToWriteGain();
    void notifyRequestToWriteDelay();
    void notifyRequestToWritePatch();
    void notifyRequestToWriteCompressor();

private:
    struct CompressorBackup
    {
        quint8 decay;
        quint8 ratio;
        quint8 threshold;
    };

    // The scene hands the decay over as a real number.
    float compressionDecayAsReal() const { return m_compressionDecay; }
    void setCompressionDecayFromReal(float value);
    void recomputeHasBackup();
    void compressorEdited();

    int m_channelIndex;
    QString m_name = QStringLiteral("Output");
    quint8 m_speakerVariant = 0;
    QString m_speakerId = kNoSpeakerId;
    quint8 m_outputLevel = 0;
    quint8 m_compressionLevel = 0;
    quint8 m_compressionRatio = 0;
    quint8 m_compressionThreshold = kDefaultThreshold;
    quint8 m_compressionDecay = 0;
    bool m_isCustomCompressionEnabled = false;
    quint16 m_delay = 0;
    quint8 m_gain = 0;
    quint8 m_frontPanelGain = 0;
    quint8 m_patch = 0;
    bool m_isLinked = false;
    int m_delayUnitOfMeasureIndex = 0;
    std::optional<CompressorBackup> m_backup;
    bool m_hasBackup = false;
    bool m_isSelected = false;

    EditTimer m_compressorEditTime;
    EditTimer m_gainEditTime;
    EditTimer m_delayEditTime;
    EditTimer m_speakerVariantEditTime;
    EditTimer m_speakerIdEditTime;
    bool m_speakerIdChosen = false;
    EditTimer m_patchEditTime;
    bool m_isEditingGain = false;
    bool m_isEditingDelay = false;
    bool m_isEditingCompressor = false;
    bool m_isEditingSpeaker = false;
    bool m_isEditingSpeakerVariant = false;
    bool m_isEditingPatch = false;

    QString m_previousSpeakerId = kNoSpeakerId;
    QLogger::QLoggerManager *m_logger;
};
