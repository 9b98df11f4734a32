#pragma once

#include "EditTimer.h"
#include "protocol/WdxEqBand.h"

#include <QList>
#include <QMap>
#include <QObject>

namespace QLogger { class QLoggerManager; }
class RVEQBand;
class RVEQBandListModel;

// Editor model of one channel's parametric equaliser: a fixed set of band slots, kept in
// frequency order for display. Every edit becomes one write request carrying all slots;
// device replies are applied unless the user is editing or has just written.
class RVEq : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool hasCopy READ hasCopy NOTIFY hasCopyChanged)
    Q_PROPERTY(bool isFull READ isFull NOTIFY isFullChanged)
    Q_PROPERTY(int maxBandCount READ maxBandCount WRITE setMaxBandCount NOTIFY maxBandCountChanged)
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setIsEnabled NOTIFY isEnabledChanged)
    Q_PROPERTY(int usedBandCount READ usedBandCount NOTIFY usedBandCountChanged)
    Q_PROPERTY(bool hasMoreOpen READ hasMoreOpen NOTIFY hasMoreOpenChanged)
    Q_PROPERTY(int moreOpenIndex READ moreOpenIndex NOTIFY moreOpenIndexChanged)
    Q_PROPERTY(bool isEditing READ isEditing WRITE setIsEditing NOTIFY isEditingChanged)
    Q_PROPERTY(int selectedBandId READ selectedBandId NOTIFY selectedBandIdChanged)
    Q_PROPERTY(int lastUsedFrequency READ lastUsedFrequency NOTIFY lastUsedFrequencyChanged)
public:
    // Replies within this many milliseconds of a write request are not applied.
    static constexpr qint64 kReplyGuardMs = 3000;
    // The device's equaliser holds this many bands; no more can be edited or written.
    static constexpr int kDefaultBandCount = 8;

    explicit RVEq(QObject *parent = nullptr);
    ~RVEq() override;

    quint8 channelIndex() const { return m_channelIndex; }
    void setChannelIndex(quint8 channelIndex) { m_channelIndex = channelIndex; }

    bool hasCopy() const { return m_copiedBand != nullptr; }
    bool isFull() const { return usedBandCount() == m_maxBandCount; }
    int maxBandCount() const { return m_maxBandCount; }
    void setMaxBandCount(int count);
    bool isEnabled() const { return m_isEnabled; }
    void setIsEnabled(bool enabled);
    int usedBandCount() const;
    bool hasMoreOpen() const;
    int moreOpenIndex() const;
    bool isEditing() const { return m_isEditing; }
    void setIsEditing(bool editing);
    int selectedBandId() const { return m_selectedBandId; }
    int lastUsedFrequency() const { return m_lastUsedFrequency; }

    // Same on/off state, same number of used bands, and equal bands (frequency, gain, Q,
    // type) at every row where at least one of the two is used.
    bool isSameEq(const RVEq &other) const;

    Q_INVOKABLE RVEQBandListModel *bandListModel() const { return m_bandList; }
    Q_INVOKABLE bool addBand(quint8 frequency = 0, quint8 gain = 0, quint8 qualityFactor = 0,
                             bool isEnabled = true, quint8 type = 1);
    Q_INVOKABLE void removeBand(int index);
    Q_INVOKABLE void removeAllBands();
    Q_INVOKABLE void setIsMoreOpen(int index, bool isMoreOpen);
    Q_INVOKABLE void copyBand(int index);
    Q_INVOKABLE void pasteBand(int index);
    Q_INVOKABLE void clearCopyBand();
    Q_INVOKABLE void clearMoreOpen();
    Q_INVOKABLE void clearSelected();
    Q_INVOKABLE void selectBand(int index);
    Q_INVOKABLE void selectFirstUsedBand();
    Q_INVOKABLE void selectNextBand();
    Q_INVOKABLE void selectLastUsedBand();
    Q_INVOKABLE bool existBandAtFrequency(quint8 frequency) const;
    Q_INVOKABLE RVEQBand *bandAt(int index) const;

public slots:
    void orderByFrequency();
    void onEqRead(int channelIndex, bool isEnabled, QList<WdxEqBand *> bands);

signals:
    void dataChanged();
    void bandListChanged();
    void hasCopyChanged();
    void isFullChanged();
    void maxBandCountChanged();
    void isEnabledChanged();
    void usedBandCountChanged();
    void hasMoreOpenChanged();
    void moreOpenIndexChanged();
    void isEditingChanged();
    void selectedBandIdChanged();
    void lastUsedFrequencyChanged();
    void notifyRequestToWrite(int channelIndex, bool isEnabled, QList<WdxEqBand *> bands);

private slots:
    void composeWriteRequest();
    void onDataChanged();
    void onSelectedBandChanged();

private:
    void createBands(int count);
    void setSelectedBandId(int id);

    quint8 m_channelIndex = 255;
    RVEQBandListModel *m_bandList;
    RVEQBand *m_copiedBand = nullptr;
    QMap<int, RVEQBand *> m_orderMap;
    int m_maxBandCount = kDefaultBandCount;
    int m_selectedBandId = -1;
    int m_lastUsedFrequency = -1;
    bool m_isEnabled = true;
    EditTimer m_lastWriteTime;
    bool m_isEditing = false;
    QLogger::QLoggerManager *m_logger;
};
