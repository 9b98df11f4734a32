#pragma once

#include <QMap>
#include <QObject>
#include <QStringList>

namespace QLogger { class QLoggerManager; }
class RVCabinet;
class RVCabinetMode;
class RVCabinetVariant;
class RVSpeakerFamily;

// Read-only catalogue of the speaker presets: families, cabinets, modes (preset ids) and
// variants, loaded once from a resource document. Ids nest by prefix: family "Q", cabinet
// "QA", mode "QA1"; every lookup relies on it. A lookup that finds nothing answers an empty
// string, -1 or an empty list.
class RVSpeakerDB : public QObject
{
    Q_OBJECT
public:
    static const QString kDocumentPath; // ":/xml/presets.xml"

    explicit RVSpeakerDB(QObject *parent = nullptr);
    // Loads another document of the same schema (tests, tools).
    explicit RVSpeakerDB(const QString &documentPath, QObject *parent = nullptr);

    const QMap<QString, RVSpeakerFamily *> &families() const { return m_families; }
    const RVSpeakerFamily *family(const QString &familyId) const;
    const RVCabinet *cabinet(const QString &presetId) const;
    const RVCabinetMode *mode(const QString &presetId) const;
    const RVCabinetVariant *variant(const QString &presetId, int variantId) const;

    Q_INVOKABLE QString getFamilyName(const QString &familyId) const;
    Q_INVOKABLE QString getCabinetName(const QString &presetId) const;
    Q_INVOKABLE QString getCabinetModeName(const QString &presetId) const;
    Q_INVOKABLE QString getCabinetVariantName(const QString &presetId, int variantId) const;
    Q_INVOKABLE int getSpeakerCrossOverMinFrequency(const QString &presetId, int variantId) const;
    Q_INVOKABLE int getSpeakerCrossOverMaxFrequency(const QString &presetId, int variantId) const;
    // "PASS": families with a full-range cabinet; "SUB": with a subwoofer; "": all.
    Q_INVOKABLE QStringList getFamiliesList(const QString &presetType) const;
    Q_INVOKABLE QStringList getCabinetsList() const;
    Q_INVOKABLE QStringList getCabinetsList(const QString &familyId) const;
    Q_INVOKABLE QStringList getCabinetModeList(const QString &cabinetId) const;
    Q_INVOKABLE QStringList getCabinetModeVariantList(const QString &presetId) const;
    // Resource URLs ("qrc:/..."); status "" (normal), "hovered" or "pressed".
    Q_INVOKABLE QString getFamilyImage(const QString &familyId, const QString &status) const;
    Q_INVOKABLE QString getFamilyImage(const QString &familyId) const;
    Q_INVOKABLE QString getCabinetImage(const QString &presetId) const;

private:
    void load(const QString &documentPath);

    QMap<QString, RVSpeakerFamily *> m_families;
    QLogger::QLoggerManager *m_logger;
};
