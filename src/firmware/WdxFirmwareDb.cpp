#include "WdxFirmwareDb.h"

#include "firmware/WdxFirmwareUpdateController.h"

WdxFirmwareDb::WdxFirmwareDb(QObject *parent) : QObject(parent) {}

void WdxFirmwareDb::updateDb()
{
    const auto *controller = qobject_cast<const WdxFirmwareUpdateController *>(sender());
    if (!controller)
        return;

    m_mainSpeakerIds.clear();
    m_subIds.clear();
    m_cabinetIds.clear();
    m_mainFwVersion = controller->mainFwVersion();
    m_dspFwVersion = controller->dspFwVersion();
    m_presetsVersion = controller->presetsVersion();
    const int mainCount = controller->mainPresetIds().size();
    for (int i = 0; i < mainCount; ++i) {
        const QString id = controller->mainPresetAt(i);
        m_mainSpeakerIds.append(id);
        m_cabinetIds.append(id.left(2));
    }
    const int subCount = controller->subPresetIds().size();
    for (int i = 0; i < subCount; ++i) {
        const QString id = controller->subPresetAt(i);
        m_subIds.append(id);
        m_cabinetIds.append(id.left(2));
    }
    emit dataChanged();
}

bool WdxFirmwareDb::isCabinetAvailable(const QString &cabinetId) const
{
    return m_cabinetIds.contains(cabinetId);
}

bool WdxFirmwareDb::isSubAvailable(const QString &subId) const
{
    return m_subIds.contains(subId);
}

bool WdxFirmwareDb::isMainSpeakerAvailable(const QString &mainSpeakerId) const
{
    return m_mainSpeakerIds.contains(mainSpeakerId);
}

bool WdxFirmwareDb::isPresetAvailable(const QString &presetId) const
{
    return m_mainSpeakerIds.contains(presetId) || m_subIds.contains(presetId);
}
