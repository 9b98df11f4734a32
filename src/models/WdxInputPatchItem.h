#pragma once

#include "ListItem.h"
#include "WdxInputItem.h"

#include <QPointer>

// Whether one input feeds a pre-processing channel. Shows the input's names and level too.
class WdxInputPatchItem : public ListItem
{
    Q_OBJECT
public:
    enum Roles { TypeRole = Qt::UserRole + 1, TypeStrRole, TypeShortStrRole, LevelRole, IsPatchedRole };

    // The input item is not owned; bit numbers 0..5 give the masks 1..32 of the patch value.
    WdxInputPatchItem(WdxInputItem *input, int bitNumber, QObject *parent = nullptr);

    QString id() const override;
    QVariant data(int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    WdxInputItem *input() const { return m_input; }
    bool isPatched() const { return m_isPatched; }
    quint8 mask() const { return m_mask; }

    void setIsPatched(bool patched);
    void applyPatchValue(quint8 patchValue);

private slots:
    void onInputItemDataChanged();

private:
    QPointer<WdxInputItem> m_input;
    bool m_isPatched = false;
    quint8 m_mask;
};
