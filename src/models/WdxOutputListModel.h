#pragma once

#include "ListModel.h"

namespace QLogger { class QLoggerManager; }
class WdxOutputItem;

// The three outputs, with the edits that act on several of them at once: linked gain and
// delay (relative or absolute), linked compressor, delay unit and selection.
class WdxOutputListModel : public ListModel
{
    Q_OBJECT
public:
    // Starts empty; the device model appends the three outputs and connects them.
    explicit WdxOutputListModel(QObject *parent = nullptr);

    WdxOutputItem *outputAt(int row) const;
    bool absoluteLink() const { return m_absoluteLink; }
    void setAbsoluteLink(bool absoluteLink);

    Q_INVOKABLE void setGain(int outputIndex, quint8 gain);
    Q_INVOKABLE void setDelay(int outputIndex, quint16 delay);
    Q_INVOKABLE void setCompressorThreshold(int outputIndex, quint8 threshold);
    Q_INVOKABLE void setCompressorRatio(int outputIndex, quint8 ratio);
    Q_INVOKABLE void setIsLinked(int outputIndex, bool isLinked);
    Q_INVOKABLE void setSpeakerVariant(int outputIndex, quint8 variant);
    Q_INVOKABLE void setSpeakerName(int outputIndex, const QString &speakerId);
    Q_INVOKABLE void setUnitOfMeasure(int unitIndex);
    Q_INVOKABLE void setSelectedChannelIndex(int channelIndex);

private:
    // The other outputs that follow an edit of `item`: empty unless it is linked.
    QList<WdxOutputItem *> linkedPeers(const WdxOutputItem *item) const;

    bool m_absoluteLink = false;
    QLogger::QLoggerManager *m_logger;
};
