#include "RVSpeakerDB.h"

#include "RVCabinet.h"
#include "RVCabinetMode.h"
#include "RVCabinetVariant.h"
#include "RVSpeakerFamily.h"
#include "SpeakerXml.h"
#include "logger/QLoggerManager.h"

#include <QFile>

namespace {
const char kModule[] = "RVSpeakerDB";

QString resourceUrl(const QString &path, const QString &fallback)
{
    return QStringLiteral("qrc") + (QFile::exists(path) ? path : fallback);
}
}

const QString RVSpeakerDB::kDocumentPath = QStringLiteral(":/xml/presets.xml");

RVSpeakerDB::RVSpeakerDB(QObject *parent) : RVSpeakerDB(kDocumentPath, parent) {}

RVSpeakerDB::RVSpeakerDB(const QString &documentPath, QObject *parent) : QObject(parent)
{
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->info(kModule, __func__, "Logger created");
    load(documentPath);
}

void RVSpeakerDB::load(const QString &documentPath)
{
    QFile file(documentPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_logger->warning(kModule, __func__,
                          QStringLiteral("Cannot open speaker catalogue %1: %2")
                              .arg(documentPath, file.errorString()));
        return;
    }

    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("family"))
            SpeakerXml::readChild(xml, this, m_families);
    }
    if (xml.hasError()) {
        // The families read before the fault are kept, like any other entry that reads well.
        m_logger->warning(kModule, __func__,
                          QStringLiteral("Speaker catalogue %1 unreadable at line %2: %3")
                              .arg(documentPath)
                              .arg(xml.lineNumber())
                              .arg(xml.errorString()));
    }

    int cabinets = 0, modes = 0, variants = 0;
    for (const RVSpeakerFamily *family : qAsConst(m_families)) {
        cabinets += family->cabinets().size();
        for (const RVCabinet *cabinet : family->cabinets()) {
            modes += cabinet->modes().size();
            for (const RVCabinetMode *mode : cabinet->modes())
                variants += mode->variants().size();
        }
    }
    m_logger->info(kModule, __func__,
                   QStringLiteral("Loaded %1 families, %2 cabinets, %3 modes, %4 variants")
                       .arg(m_families.size())
                       .arg(cabinets)
                       .arg(modes)
                       .arg(variants));
}

const RVSpeakerFamily *RVSpeakerDB::family(const QString &familyId) const
{
    return m_families.value(familyId);
}

const RVCabinet *RVSpeakerDB::cabinet(const QString &presetId) const
{
    if (presetId.size() < 2)
        return nullptr;
    const RVSpeakerFamily *owner = family(presetId.left(1));
    return owner ? owner->cabinets().value(presetId.left(2)) : nullptr;
}

const RVCabinetMode *RVSpeakerDB::mode(const QString &presetId) const
{
    const RVCabinet *owner = cabinet(presetId);
    return owner ? owner->modes().value(presetId) : nullptr;
}

const RVCabinetVariant *RVSpeakerDB::variant(const QString &presetId, int variantId) const
{
    const RVCabinetMode *owner = mode(presetId);
    return owner ? owner->variants().value(QString::number(variantId)) : nullptr;
}

QString RVSpeakerDB::getFamilyName(const QString &familyId) const
{
    const RVSpeakerFamily *found = family(familyId);
    return found ? found->name() : QString();
}

QString RVSpeakerDB::getCabinetName(const QString &presetId) const
{
    const RVCabinet *found = cabinet(presetId);
    return found ? found->name() : QString();
}

QString RVSpeakerDB::getCabinetModeName(const QString &presetId) const
{
    const RVCabinetMode *found = mode(presetId);
    return found ? found->name() : QString();
}

QString RVSpeakerDB::getCabinetVariantName(const QString &presetId, int variantId) const
{
    const RVCabinetVariant *found = variant(presetId, variantId);
    return found ? found->name() : QString();
}

int RVSpeakerDB::getSpeakerCrossOverMinFrequency(const QString &presetId, int variantId) const
{
    const RVCabinetVariant *found = variant(presetId, variantId);
    return found ? found->minFrequency() : -1;
}

int RVSpeakerDB::getSpeakerCrossOverMaxFrequency(const QString &presetId, int variantId) const
{
    const RVCabinetVariant *found = variant(presetId, variantId);
    return found ? found->maxFrequency() : -1;
}

QStringList RVSpeakerDB::getFamiliesList(const QString &presetType) const
{
    QStringList ids;
    for (const RVSpeakerFamily *family : m_families) {
        if (presetType.isEmpty() || (presetType == QLatin1String("PASS") && family->passCount() >= 1)
            || (presetType == QLatin1String("SUB") && family->subCount() >= 1))
            ids.append(family->id());
    }
    return ids;
}

QStringList RVSpeakerDB::getCabinetsList() const
{
    QStringList ids;
    for (const RVSpeakerFamily *family : m_families)
        ids.append(family->cabinets().keys());
    return ids;
}

QStringList RVSpeakerDB::getCabinetsList(const QString &familyId) const
{
    const RVSpeakerFamily *found = family(familyId);
    return found ? found->cabinets().keys() : QStringList();
}

QStringList RVSpeakerDB::getCabinetModeList(const QString &cabinetId) const
{
    const RVSpeakerFamily *owner = family(cabinetId.left(1));
    const RVCabinet *found = owner ? owner->cabinets().value(cabinetId) : nullptr;
    return found ? found->modes().keys() : QStringList();
}

QStringList RVSpeakerDB::getCabinetModeVariantList(const QString &presetId) const
{
    const RVCabinetMode *found = mode(presetId);
    return found ? found->variants().keys() : QStringList();
}

QString RVSpeakerDB::getFamilyImage(const QString &familyId, const QString &status) const
{
    QString path = QStringLiteral(":/images/series/seriesIcon") + familyId;
    if (!status.isEmpty())
        path += QLatin1Char('_') + status;
    path += QStringLiteral(".svg");
    return resourceUrl(path, QStringLiteral(":/images/series/seriesIconAll.svg"));
}

QString RVSpeakerDB::getFamilyImage(const QString &familyId) const
{
    return getFamilyImage(familyId, QString());
}

QString RVSpeakerDB::getCabinetImage(const QString &presetId) const
{
    const QString path = QStringLiteral(":/images/speakers/cabIcon") + presetId.left(2) + QStringLiteral(".svg");
    return resourceUrl(path, QStringLiteral(":/images/speakers/cabIconUnknown.svg"));
}
