#include "WdxModel.h"

#include "RVEQBand.h"
#include "RVEQBandListModel.h"
#include "RVEq.h"
#include "WdxInputItem.h"
#include "WdxInputListModel.h"
#include "WdxInputPatchListModel.h"
#include "WdxOutputItem.h"
#include "WdxOutputListModel.h"
#include "WdxPreProcItem.h"
#include "WdxPreProcListModel.h"
#include "firmware/WdxFirmwareDb.h"
#include "logger/QLoggerManager.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QLocale>
#include <QRandomGenerator>

namespace {

const char kModule[] = "WdxModel";
const QString kBootMode = QStringLiteral("boot mode");
const QString kMainMode = QStringLiteral("main mode");
const QString kLocked = QStringLiteral("locked");
const QString kUnlocked = QStringLiteral("unlocked");
constexpr int kTypeLength = 7;
constexpr int kSerialLength = 6;
constexpr int kMinPukLength = 5;
constexpr int kSubChannel = 1;
constexpr int kMainRows[] = {0, 2};
constexpr quint32 kRecoveryModulus = 100000000;
constexpr int kRecoveryDigits = 8;

struct OutputName
{
    int channel;
    const char *name;
};
constexpr OutputName kOutputs[] = {{0, "Main L"}, {1, "Sub"}, {2, "Main R"}};

template <typename T>
bool store(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// Pointer types the scene receives from the model's methods, so that the engine can hand
// them over instead of "Unknown method return type".
void registerSceneTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<WdxInputListModel *>("WdxInputListModel*");
        qRegisterMetaType<WdxPreProcListModel *>("WdxPreProcListModel*");
        qRegisterMetaType<WdxOutputListModel *>("WdxOutputListModel*");
        qRegisterMetaType<WdxInputPatchListModel *>("WdxInputPatchListModel*");
        qRegisterMetaType<WdxOutputItem *>("WdxOutputItem*");
        qRegisterMetaType<WdxPreProcItem *>("WdxPreProcItem*");
        qRegisterMetaType<RVEq *>("RVEq*");
        qRegisterMetaType<RVEQBand *>("RVEQBand*");
        qRegisterMetaType<RVEQBandListModel *>("RVEQBandListModel*");
        qRegisterMetaType<QList<WdxEqBand *>>("QList<WdxEqBand*>");
        qRegisterMetaType<QVector<quint8>>("QVector<quint8>");
        qRegisterMetaType<QVector<quint16>>("QVector<quint16>");
        qRegisterMetaType<QList<quint8>>("QList<quint8>");
        qRegisterMetaType<QList<quint16>>("QList<quint16>");
        return true;
    }();
    Q_UNUSED(registered)
}

} // namespace

const QString WdxModel::kDefaultName = QStringLiteral("WDX");

WdxModel::WdxModel(QObject *parent) : QObject(parent)
{
    registerSceneTypes();
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");

    // Every item has the model as its parent besides its list, so that the scene never takes
    // ownership of one it received.
    m_inputList = new WdxInputListModel(this);
    QList<ListItem *> inputs;
    for (int index = 0; index < WdxInputListModel::kInputCount; ++index)
        inputs.append(new WdxInputItem(index, this));
    m_inputList->appendRows(inputs);

    m_preProcList = new WdxPreProcListModel(this);
    const QList<WdxInputItem *> inputItems = m_inputList->inputs();
    const struct
    {
        const char *name;
        const char *shortName;
    } preProcNames[] = {{"Left", "L"}, {"Right", "R"}};
    for (int channel = 0; channel < 2; ++channel) {
        auto *item = new WdxPreProcItem(channel, inputItems, this);
        item->updateName(QString::fromLatin1(preProcNames[channel].name));
        item->updateShortName(QString::fromLatin1(preProcNames[channel].shortName));
        connect(this, &WdxModel::preProcessingPatchRead, item, &WdxPreProcItem::onPatchRead);
        connect(this, &WdxModel::eqRead, item, &WdxPreProcItem::eqRead);
        connect(item, &WdxPreProcItem::notifyRequestToWritePatch, this, &WdxModel::onRequestToWritePreProcessingPatch);
        connect(item, &WdxPreProcItem::notifyRequestToWriteEq, this, &WdxModel::notifyRequestToWriteEq);
        m_preProcList->appendRow(item);
    }

    m_outputList = new WdxOutputListModel(this);
    m_outputList->setAbsoluteLink(m_isAbsoluteLink);
    for (const OutputName &output : kOutputs) {
        auto *item = new WdxOutputItem(output.channel, this);
        item->updateSpeakerId(WdxOutputItem::kNoSpeakerId);
        item->updateName(QString::fromLatin1(output.name));
        connect(item, &WdxOutputItem::notifyRequestToWriteDelay, this, &WdxModel::onRequestToWriteDelays);
        connect(item, &WdxOutputItem::notifyRequestToWriteGain, this, &WdxModel::onRequestToWriteGains);
        connect(item, &WdxOutputItem::notifyRequestToWriteSpeakerVariant, this,
                &WdxModel::onRequestToWriteSpeakerVariant);
        connect(item, &WdxOutputItem::notifyRequestToWritePatch, this, &WdxModel::onRequestToWriteOutputPatch);
        connect(item, &WdxOutputItem::notifyRequestToWriteCompressor, this, &WdxModel::onRequestToWriteCompressor);
        connect(this, &WdxModel::outputPatchRead, item, &WdxOutputItem::onPatchRead);
        connect(this, &WdxModel::compressorRead, item, &WdxOutputItem::onCompressorRead);
        m_outputList->appendRow(item);
    }
}

WdxModel::~WdxModel() = default;

void WdxModel::setFirmwareDb(WdxFirmwareDb *firmwareDb)
{
    if (m_firmwareDb)
        disconnect(m_firmwareDb, nullptr, this, nullptr);
    m_firmwareDb = firmwareDb;
    if (!firmwareDb)
        return;
    connect(firmwareDb, &WdxFirmwareDb::dataChanged, this, &WdxModel::checkMainFwCompatibility);
    connect(firmwareDb, &WdxFirmwareDb::dataChanged, this, &WdxModel::checkDspFwCompatibility);
}

WdxFirmwareDb *WdxModel::firmwareDb() const
{
    return m_firmwareDb;
}

QList<WdxOutputItem *> WdxModel::outputs() const
{
    QList<WdxOutputItem *> items;
    for (int row = 0; row < m_outputList->rowCount(); ++row)
        items.append(m_outputList->outputAt(row));
    return items;
}

// --- Identity ---------------------------------------------------------------------------------

QString WdxModel::deviceTypeString() const
{
    return m_name.size() >= kIdentityLength ? m_name.left(kTypeLength) : QString();
}

QString WdxModel::serialNumber() const
{
    return m_name.size() >= kIdentityLength ? m_name.right(kSerialLength) : QString();
}

int WdxModel::deviceType() const
{
    const QString type = deviceTypeString();
    if (type.isEmpty())
        return kUnknown;
    static const char *const suffixes[] = {"-T-U", "-T-N", "-I-U", "-I-N"};
    for (int code = 0; code < 4; ++code) {
        if (type.endsWith(QLatin1String(suffixes[code])))
            return code;
    }
    return kUnknown;
}

void WdxModel::updateDeviceName(const QString &name)
{
    if (!store(m_name, name))
        return;
    emit nameChanged();
    emit deviceTypeStringChanged();
    emit deviceTypeChanged();
    emit serialNumberChanged();
}

QString WdxModel::recoveryCode(const QString &serialNumber)
{
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayLiteral("Vela recovery code ") + serialNumber.toUtf8(), QCryptographicHash::Sha256);
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | quint8(digest.at(i));
    return QStringLiteral("%1").arg(value % kRecoveryModulus, kRecoveryDigits, 10, QLatin1Char('0'));
}

bool WdxModel::isValidPuk(const QString &code) const
{
    if (m_name.size() < kSerialLength || code.size() < kMinPukLength)
        return false;
    return code == recoveryCode(m_name.right(kSerialLength));
}

// --- Connection -------------------------------------------------------------------------------

QString WdxModel::lastConnectionTimeString() const
{
    if (m_lastConnectionTime.isNull())
        return QStringLiteral("never viewed");
    QString text = QStringLiteral("last viewed ");
    const qint64 days = m_lastConnectionTime.daysTo(QDateTime::currentDateTime());
    const QDate date = m_lastConnectionTime.date();
    if (days == 0)
        text += QStringLiteral("today ");
    else if (days == 1)
        text += QStringLiteral("yesterday ");
    else
        text += QStringLiteral("%1 %2 %3 ")
                    .arg(date.day())
                    .arg(QLocale::system().monthName(date.month(), QLocale::ShortFormat))
                    .arg(date.year());
    return text + QStringLiteral(", ") + m_lastConnectionTime.time().toString(QStringLiteral("hh:mm"));
}

void WdxModel::setLastConnectionTime(const QDateTime &time)
{
    if (store(m_lastConnectionTime, time))
        emit lastConnectionTimeStringChanged();
}

void WdxModel::onWdxConnected()
{
    if (m_isConnected)
        return;
    m_isConnected = true;
    emit isConnectedChanged();
}

void WdxModel::onWdxDisconnected()
{
    if (!m_isConnected)
        return;
    m_isConnected = false;
    setLastConnectionTime(QDateTime::currentDateTime());
    emit isConnectedChanged();
}

// --- Status and lock --------------------------------------------------------------------------

void WdxModel::updateDeviceStatus(const QString &status)
{
    const int value = status == kBootMode ? 0 : status == kMainMode ? 1 : kUnknown;
    if (!store(m_deviceStatus, value))
        return;
    emit deviceStatusChanged();
    if (value == 1)
        emit mainReached();
}

void WdxModel::updateSecurityStatus(const QString &status)
{
    const int value = status == kLocked ? 1 : status == kUnlocked ? 0 : kUnknown;
    if (!store(m_securityStatus, value))
        return;
    emit isLockedChanged();
    emit readOnlyMessageChanged();
    if (value == 1)
        emit wdxLocked();
    else if (value == 0)
        emit wdxUnlocked();
}

void WdxModel::updateIsHwMode(bool isHwMode)
{
    if (!store(m_isHwMode, isHwMode))
        return;
    emit isHwModeChanged();
    emit readOnlyMessageChanged();
}

QString WdxModel::readOnlyMessage() const
{
    if (isLocked())
        return QStringLiteral("Device is locked. Unlock to edit settings");
    if (m_isHwMode)
        return QStringLiteral("Device in hardware mode. Please put mode switch in USER position to edit");
    return QString();
}

// --- Firmware versions ------------------------------------------------------------------------

void WdxModel::updateMainFwVersion(const QString &version)
{
    if (store(m_mainFwVersion, version))
        emit mainFwVersionChanged();
    checkMainFwCompatibility();
}

void WdxModel::updateDspFwVersion(const QString &version)
{
    if (store(m_dspFwVersion, version))
        emit dspFwVersionChanged();
    checkDspFwCompatibility();
}

void WdxModel::updatePresetFwVersion(const QString &version)
{
    if (store(m_presetFwVersion, version))
        emit presetFwVersionChanged();
    checkPresetFwCompatibility();
}

// Without a catalogue nothing is known to match.
void WdxModel::checkMainFwCompatibility()
{
    if (m_firmwareDb && m_mainFwVersion == m_firmwareDb->mainFwVersion())
        emit mainFwChecked();
    else
        emit mainFwMismatch();
}

void WdxModel::checkDspFwCompatibility()
{
    if (m_firmwareDb && m_dspFwVersion == m_firmwareDb->dspFwVersion())
        emit dspFwChecked();
    else
        emit dspFwMismatch();
}

void WdxModel::checkPresetFwCompatibility()
{
    if (m_firmwareDb && m_presetFwVersion == m_firmwareDb->presetsVersion())
        emit presetFwChecked();
    else
        emit presetFwMismatch();
}

// --- Values distributed to the channels -------------------------------------------------------
// A device may answer more entries than there are rows, or fewer: each entry goes to the row
// of its position if that row exists.

void WdxModel::updateOutputMeters(const QVector<quint8> &values)
{
    const int rows = qMin(values.size(), m_outputList->rowCount());
    for (int row = 0; row < rows; ++row)
        m_outputList->outputAt(row)->updateOutputLevel(values.at(row));
}

void WdxModel::updateCompressorMeters(const QVector<quint8> &values)
{
    const int rows = qMin(values.size(), m_outputList->rowCount());
    for (int row = 0; row < rows; ++row)
        m_outputList->outputAt(row)->updateCompressionLevel(values.at(row));
}

void WdxModel::updateInputMeters(const QVector<quint8> &values)
{
    const int rows = qMin(values.size(), m_inputList->rowCount());
    for (int row = 0; row < rows; ++row)
        m_inputList->inputAt(row)->updateLevel(values.at(row));
}

void WdxModel::updateOutputDelays(const QVector<quint16> &values)
{
    const int rows = qMin(values.size(), m_outputList->rowCount());
    for (int row = 0; row < rows; ++row) {
        WdxOutputItem *item = m_outputList->outputAt(row);
        if (item->delayReportAllowed())
            item->updateDelay(values.at(row));
    }
}

void WdxModel::updateOutputGains(const QVector<quint8> &values)
{
    const int rows = qMin(values.size(), m_outputList->rowCount());
    for (int row = 0; row < rows; ++row) {
        WdxOutputItem *item = m_outputList->outputAt(row);
        if (item->gainReportAllowed())
            item->updateGain(values.at(row));
    }
}

void WdxModel::updateFrontPanelGains(const QVector<quint8> &values)
{
    const int rows = qMin(values.size(), m_outputList->rowCount());
    for (int row = 0; row < rows; ++row)
        m_outputList->outputAt(row)->updateFrontPanelGain(values.at(row));
}

void WdxModel::updateSpeakerMode(quint8 hwMode, quint8 mainSwMode, quint8 subSwMode)
{
    updateIsHwMode(hwMode != 1);
    const QList<WdxOutputItem *> items = outputs();
    // The main outputs share one variant on the device: a fresh edit of either holds back the
    // report for both, or they would part.
    bool mainsAllowed = true;
    for (const WdxOutputItem *item : items) {
        if (item->channelIndex() != kSubChannel)
            mainsAllowed = mainsAllowed && item->speakerVariantReportAllowed();
    }
    for (WdxOutputItem *item : items) {
        if (item->channelIndex() == kSubChannel) {
            if (item->speakerVariantReportAllowed())
                item->updateSpeakerVariant(subSwMode);
        } else if (mainsAllowed) {
            item->updateSpeakerVariant(mainSwMode);
        }
    }
}

void WdxModel::updateSpeakerPreset(const QString &mainPreset, const QString &subPreset)
{
    // A loudspeaker just chosen is not put back by a report from before its preset upload.
    for (WdxOutputItem *item : outputs()) {
        if (item->speakerIdReportAllowed())
            item->updateSpeakerId(item->channelIndex() == kSubChannel ? subPreset : mainPreset);
    }
}

// --- Write requests ---------------------------------------------------------------------------

void WdxModel::onRequestToWriteGains()
{
    QList<quint8> gains;
    for (const WdxOutputItem *item : outputs())
        gains.append(item->gain());
    emit notifyRequestToWriteGains(gains);
}

void WdxModel::onRequestToWriteDelays()
{
    QList<quint16> delays;
    for (const WdxOutputItem *item : outputs())
        delays.append(item->delay());
    emit notifyRequestToWriteDelays(delays);
}

void WdxModel::onRequestToWritePreProcessingPatch()
{
    if (const auto *item = qobject_cast<WdxPreProcItem *>(sender()))
        emit notifyRequestToWritePreProcessingPatch(item->channelIndex(), item->patchValue());
}

void WdxModel::onRequestToWriteOutputPatch()
{
    if (const auto *item = qobject_cast<WdxOutputItem *>(sender()))
        emit notifyRequestToWriteOutputPatch(item->channelIndex(), item->patch());
}

void WdxModel::onRequestToWriteCompressor()
{
    if (const auto *item = qobject_cast<WdxOutputItem *>(sender()))
        emit notifyRequestToWriteCompressor(item->channelIndex(), item->compressionRatio(), item->compressionDecay(),
                                            item->compressionThreshold(), item->isCustomCompressionEnabled());
}

void WdxModel::onRequestToWriteSpeakerVariant()
{
    const auto *item = qobject_cast<WdxOutputItem *>(sender());
    if (!item)
        return;
    if (item->channelIndex() != kSubChannel) {
        for (int row : kMainRows) {
            WdxOutputItem *other = m_outputList->outputAt(row);
            if (other && other != item)
                other->updateSpeakerVariant(item->speakerVariant());
        }
    }
    const WdxOutputItem *row0 = m_outputList->outputAt(0);
    const WdxOutputItem *row1 = m_outputList->outputAt(1);
    if (row0 && row1)
        emit notifyRequestToWriteSpeakerVariant(row0->speakerVariant(), row1->speakerVariant());
}

void WdxModel::setDigitalMux(quint8 digitalMux)
{
    if (!store(m_digitalMux, digitalMux))
        return;
    emit digitalMuxChanged();
    emit notifyRequestToWriteDigitalMux(digitalMux);
    m_digitalMuxEditTime.restart();
}

void WdxModel::updateDigitalMux(quint8 digitalMux)
{
    if (m_isEditingDigitalMux || m_digitalMuxEditTime.elapsed() < kEditGuardMs)
        return;
    if (store(m_digitalMux, digitalMux))
        emit digitalMuxChanged();
}

void WdxModel::setIsEditingDigitalMux(bool editing)
{
    m_isEditingDigitalMux = editing;
}

void WdxModel::uploadSpeakerPreset(int channelIndex, const QString &speakerId)
{
    if (channelIndex == kSubChannel) {
        WdxOutputItem *sub = m_outputList->outputAt(kSubChannel);
        if (!sub || sub->speakerId() == speakerId)
            return;
        sub->setSpeakerId(speakerId);
        if (m_firmwareDb)
            emit notifyRequestToChangeSubPreset(speakerId);
        return;
    }
    bool bothHold = true;
    for (int row : kMainRows) {
        const WdxOutputItem *main = m_outputList->outputAt(row);
        bothHold = bothHold && main && main->speakerId() == speakerId;
    }
    if (bothHold)
        return;
    for (int row : kMainRows) {
        if (WdxOutputItem *main = m_outputList->outputAt(row))
            main->setSpeakerId(speakerId);
    }
    if (m_firmwareDb)
        emit notifyRequestToChangeMainPreset(speakerId);
}

void WdxModel::uploadFirmware()
{
    const WdxOutputItem *row0 = m_outputList->outputAt(0);
    const WdxOutputItem *row1 = m_outputList->outputAt(1);
    emit notifyRequestToUploadFirmware(row0 ? row0->speakerId() : QString(), row1 ? row1->speakerId() : QString());
}

// --- Application flags ------------------------------------------------------------------------

bool WdxModel::logEnabled() const
{
    return QLogger::QLoggerManager::outputMode() != QLogger::LogOff;
}

void WdxModel::setLogEnabled(bool enabled)
{
    if (enabled == logEnabled())
        return;
    QLogger::QLoggerManager::setOutputMode(enabled ? QLogger::LogConsoleAndFile : QLogger::LogOff);
    emit logEnabledChanged();
}

void WdxModel::setIsAbsoluteLink(bool isAbsoluteLink)
{
    if (!store(m_isAbsoluteLink, isAbsoluteLink))
        return;
    m_outputList->setAbsoluteLink(isAbsoluteLink);
    emit isAbsoluteLinkChanged();
}

void WdxModel::setActiveScreen(const QString &screen)
{
    if (m_activeScreen == screen)
        return;
    m_logger->info(kModule, __func__, QStringLiteral("Active screen changed from %1 to %2").arg(m_activeScreen, screen));
    m_activeScreen = screen;
    emit activeScreenChanged();
    emit currentViewIndexChanged();
}

int WdxModel::activeViewIndex() const
{
    if (m_activeScreen == QLatin1String("input"))
        return 0;
    if (m_activeScreen == QLatin1String("output"))
        return 2;
    return 1;
}

void WdxModel::setDevModeEnabled(bool enabled)
{
    if (store(m_devModeEnabled, enabled))
        emit devModeEnabledChanged();
}

void WdxModel::setAutoUpdateEnabled(bool enabled)
{
    if (store(m_autoUpdateEnabled, enabled))
        emit autoUpdateEnabledChanged();
}

void WdxModel::setLastVersionToDiscard(const QString &version)
{
    if (store(m_lastVersionToDiscard, version))
        emit lastVersionToDiscardChanged();
}

void WdxModel::updateOnlineApplicationVersion(const QString &version)
{
    if (store(m_onlineApplicationVersion, version))
        emit onlineApplicationVersionChanged();
}

bool WdxModel::isBetaVersion() const
{
    const QString version = QCoreApplication::applicationVersion();
    return version.size() < 2 || version.at(1) != QLatin1Char('.');
}

void WdxModel::downloadLatestVersion()
{
    emit notifyRequestToDownloadLatestVersion();
}

void WdxModel::discardLatestVersion()
{
    setLastVersionToDiscard(m_onlineApplicationVersion);
}

void WdxModel::resetSettings()
{
    emit notifyRequestToResetSettings();
}

void WdxModel::setState(const QString &state)
{
    if (store(m_state, state))
        emit stateChanged();
}

// --- Items ------------------------------------------------------------------------------------

WdxOutputItem *WdxModel::getOutput(int row) const
{
    return m_outputList->outputAt(row);
}

WdxPreProcItem *WdxModel::getPreProc(int row) const
{
    return m_preProcList->preProcAt(row);
}

void WdxModel::clear()
{
    updateDeviceStatus(QString());
    updateDeviceName(kDefaultName);
    updateIsHwMode(false);
    updateSecurityStatus(QString());
    updateMainFwVersion(QString());
    updateDspFwVersion(QString());
    for (WdxInputItem *input : m_inputList->inputs())
        input->reset();
    for (int row = 0; row < m_preProcList->rowCount(); ++row)
        m_preProcList->preProcAt(row)->reset();
    for (WdxOutputItem *item : outputs())
        item->reset();
}

void WdxModel::randomInputs()
{
    for (WdxInputItem *input : m_inputList->inputs())
        input->updateLevel(quint8(QRandomGenerator::global()->bounded(255)));
}

void WdxModel::randomOutputs()
{
    for (WdxOutputItem *item : outputs())
        item->updateOutputLevel(quint8(QRandomGenerator::global()->bounded(255)));
}
