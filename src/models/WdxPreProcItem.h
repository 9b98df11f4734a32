#pragma once

#include "EditTimer.h"
#include "ListItem.h"
#include "protocol/WdxEqBand.h"

#include <QList>

class RVEQBand;
class RVEq;
class WdxInputItem;
class WdxInputPatchListModel;

// One pre-processing channel: which inputs feed it (its patch) and its equaliser.
class WdxPreProcItem : public ListItem
{
    Q_OBJECT
    Q_PROPERTY(int channelIndex READ channelIndex CONSTANT)
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    Q_PROPERTY(QString shortName READ shortName NOTIFY shortNameChanged)
    Q_PROPERTY(RVEq *eq READ eq NOTIFY eqChanged)
    Q_PROPERTY(bool isSelected READ isSelected WRITE setIsSelected NOTIFY isSelectedChanged)
public:
    enum Roles { ChannelIndexRole = Qt::UserRole + 1, NameRole, ShortNameRole, IsSelectedRole };

    // Device reports of the patch within this many milliseconds of a toggle are not applied.
    static constexpr qint64 kPatchGuardMs = 1000;

    // One patch row per given input, bit numbers 0.. in the given order.
    explicit WdxPreProcItem(int channelIndex = 0, const QList<WdxInputItem *> &inputs = {}, QObject *parent = nullptr);

    QString id() const override;
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int channelIndex() const { return m_channelIndex; }
    QString name() const { return m_name; }
    QString shortName() const { return m_shortName; }
    bool isSelected() const { return m_isSelected; }
    bool isEditingPatch() const { return m_isEditingPatch; }
    Q_INVOKABLE RVEq *eq() const { return m_eq; }
    Q_INVOKABLE WdxInputPatchListModel *inputPatches() const { return m_inputPatches; }
    Q_INVOKABLE RVEQBand *getEqBand(int index) const;
    // Bit field of the patched inputs: input i in bit i.
    quint8 patchValue() const;

    void updateName(const QString &name);
    void updateShortName(const QString &shortName);
    void setIsSelected(bool selected);
    Q_INVOKABLE void setIsEditingPatch(bool editing) { m_isEditingPatch = editing; }
    // Device gone: nothing patched.
    void reset();

public slots:
    void toggleInputPatch(int inputPatchIndex);
    void updateInputPatch(quint8 patchValue);
    void onPatchRead(int channelIndex, quint8 patchValue);

signals:
    void nameChanged();
    void shortNameChanged();
    void eqChanged();
    void isEditingEqChanged();
    void isSelectedChanged();
    void notifyRequestToWritePatch();
    void eqRead(int channelId, bool isEnabled, QList<WdxEqBand *> bands);
    void notifyRequestToWriteEq(int channelId, bool isEnabled, QList<WdxEqBand *> bands);

private:
    int m_channelIndex;
    QString m_name = QStringLiteral("A");
    QString m_shortName = QStringLiteral("A");
    WdxInputPatchListModel *m_inputPatches;
    RVEq *m_eq;
    EditTimer m_patchEditTime;
    bool m_isEditingPatch = false;
    bool m_isSelected = false;
};
