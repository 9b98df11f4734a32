#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>

// Wire form of one equaliser band: frequency, gain, control (type bits 0-5, enabled bit 6,
// used bit 7) and quality-factor indexes.
class WdxEqBand : public QObject
{
    Q_OBJECT
public:
    explicit WdxEqBand(QObject *parent = nullptr) : QObject(parent) {}

    quint8 frequency() const { return m_frequency; }
    quint8 gain() const { return m_gain; }
    quint8 control() const { return m_control; }
    quint8 qualityFactor() const { return m_qualityFactor; }
    quint8 type() const { return m_control & kTypeMask; }
    bool isEnabled() const { return m_control & kEnabledBit; }
    bool isUsed() const { return m_control & kUsedBit; }

    void setFrequency(quint8 value) { if (m_frequency != value) m_frequency = value; }
    void setGain(quint8 value) { if (m_gain != value) m_gain = value; }
    void setControl(quint8 value) { if (m_control != value) m_control = value; }
    void setQualityFactor(quint8 value) { if (m_qualityFactor != value) m_qualityFactor = value; }
    void setType(quint8 value) { setControl(quint8((m_control & ~kTypeMask) | (value & kTypeMask))); }
    void setEnabled(bool value) { setControl(value ? quint8(m_control | kEnabledBit) : quint8(m_control & ~kEnabledBit)); }
    void setUsed(bool value) { setControl(value ? quint8(m_control | kUsedBit) : quint8(m_control & ~kUsedBit)); }

    void clear() { m_frequency = m_gain = m_control = m_qualityFactor = 0; }

    static constexpr quint8 kTypeMask = 0x3F;
    static constexpr quint8 kEnabledBit = 0x40;
    static constexpr quint8 kUsedBit = 0x80;

private:
    quint8 m_frequency = 0;
    quint8 m_gain = 0;
    quint8 m_control = 0;
    quint8 m_qualityFactor = 0;
};

Q_DECLARE_METATYPE(QList<WdxEqBand *>)
