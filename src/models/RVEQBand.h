#pragma once

#include "ListItem.h"

namespace QLogger { class QLoggerManager; }

// One slot of a parametric equaliser, as the editor shows and edits it. Values are device
// indexes: frequency 0..120, gain 0..72, Q 0..40 (0 is the narrowest).
class RVEQBand : public ListItem
{
    Q_OBJECT
    Q_PROPERTY(int deviceIndex READ deviceIndex CONSTANT)
    Q_PROPERTY(int displayIndex READ displayIndex NOTIFY displayIndexChanged)
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(quint8 frequency READ frequency WRITE setFrequency NOTIFY frequencyChanged)
    Q_PROPERTY(quint8 gain READ gain WRITE setGain NOTIFY gainChanged)
    Q_PROPERTY(quint8 qualityFactor READ qualityFactor WRITE setQualityFactor NOTIFY qualityFactorChanged)
    Q_PROPERTY(quint8 bandType READ bandType WRITE setBandType NOTIFY bandTypeChanged)
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setIsEnabled NOTIFY isEnabledChanged)
    Q_PROPERTY(bool isMoreOpen READ isMoreOpen WRITE setIsMoreOpen NOTIFY isMoreOpenChanged)
    Q_PROPERTY(bool isSelected READ isSelected WRITE setIsSelected NOTIFY isSelectedChanged)
    Q_PROPERTY(bool isUsed READ isUsed WRITE setIsUsed NOTIFY isUsedChanged)
    Q_PROPERTY(QString isUsedString READ isUsedString NOTIFY isUsedStringChanged)
public:
    enum Roles {
        IdRole = Qt::UserRole + 1,
        DeviceIndexRole,
        DisplayIndexRole,
        FrequencyRole,
        GainRole,
        QualityFactorRole,
        BandTypeRole,
        IsEnabledRole,
        IsMoreOpenRole,
        IsSelectedRole,
        IsUsedRole,
        IsUsedStringRole
    };

    // Band types shared with the device and the response plot.
    enum BandType : quint8 {
        Thru = 0,
        Bell = 1,
        HighPass = 2,
        LowPass = 3,
        HighShelf = 4,
        LowShelf = 5,
        Notch = 6,
        BandPassParallel = 7
    };

    explicit RVEQBand(int bandIndex = 0, QObject *parent = nullptr);

    QString id() const override;
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int deviceIndex() const { return m_deviceIndex; }
    int displayIndex() const { return m_displayIndex; }
    quint8 frequency() const { return m_frequency; }
    quint8 gain() const { return m_gain; }
    quint8 qualityFactor() const { return m_qualityFactor; }
    quint8 bandType() const { return m_bandType; }
    bool isEnabled() const { return m_isEnabled; }
    bool isMoreOpen() const { return m_isMoreOpen; }
    bool isSelected() const { return m_isSelected; }
    bool isUsed() const { return m_isUsed; }
    QString isUsedString() const;

    // Limits of the editable ranges; the Q minimum follows the band type.
    Q_INVOKABLE int minFrequency() const { return m_minFrequency; }
    Q_INVOKABLE int maxFrequency() const { return m_maxFrequency; }
    Q_INVOKABLE int minGain() const { return m_minGain; }
    Q_INVOKABLE int maxGain() const { return m_maxGain; }
    Q_INVOKABLE int minQualityFactor() const { return m_minQualityFactor; }
    Q_INVOKABLE int maxQualityFactor() const { return m_maxQualityFactor; }
    static quint8 qualityFactorMinimumFor(quint8 type);

    // Takes frequency, gain, type, Q, enabled and used from another band, without a write.
    void copyFrom(const RVEQBand &other);

    // Equal by frequency, gain, Q and type; ordered on those in that priority.
    bool operator==(const RVEQBand &other) const;
    bool operator!=(const RVEQBand &other) const { return !(*this == other); }
    bool operator<(const RVEQBand &other) const;

public slots:
    void updateDisplayIndex(int value);
    void updateFrequency(quint8 value);
    void updateGain(quint8 value);
    void updateQualityFactor(quint8 value);
    void updateBandType(quint8 value);
    void updateIsEnabled(bool value);
    void updateIsUsed(bool value);

    void setFrequency(quint8 value);
    void setGain(quint8 value);
    void setQualityFactor(quint8 value);
    void setBandType(quint8 value);
    void setIsEnabled(bool value);
    void setIsUsed(bool value);
    void setIsMoreOpen(bool value);
    void setIsSelected(bool value);

signals:
    void idChanged();
    void displayIndexChanged();
    void frequencyChanged();
    void gainChanged();
    void qualityFactorChanged();
    void bandTypeChanged();
    void isEnabledChanged();
    void isMoreOpenChanged();
    void isSelectedChanged();
    void isUsedChanged();
    void isUsedStringChanged();
    void notifyRequestToWrite();

private:
    int m_displayIndex;
    int m_deviceIndex;
    quint8 m_frequency = 0;
    quint8 m_gain = 0;
    quint8 m_qualityFactor = 0;
    bool m_isEnabled = false;
    quint8 m_bandType = Bell;
    bool m_isMoreOpen = false;
    bool m_isSelected = false;
    bool m_isUsed = false;
    quint8 m_minFrequency = 0;
    quint8 m_maxFrequency = 120;
    quint8 m_minGain = 0;
    quint8 m_maxGain = 72;
    // Follows the type from the start; set in the constructor.
    quint8 m_minQualityFactor = 0;
    quint8 m_maxQualityFactor = 40;
    QLogger::QLoggerManager *m_logger;
};
