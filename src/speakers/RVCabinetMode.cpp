#include "RVCabinetMode.h"

#include "RVCabinetVariant.h"
#include "SpeakerXml.h"

RVCabinetMode::RVCabinetMode(QObject *parent) : QObject(parent) {}

void RVCabinetMode::read(QXmlStreamReader &xml)
{
    while (SpeakerXml::nextChild(xml, QStringLiteral("mode"))) {
        const auto element = xml.name();
        if (element == QLatin1String("id"))
            m_id = SpeakerXml::text(xml).trimmed();
        else if (element == QLatin1String("name"))
            m_name = SpeakerXml::text(xml);
        else if (element == QLatin1String("var"))
            SpeakerXml::readChild(xml, this, m_variants);
    }
}

bool RVCabinetMode::isValid() const
{
    return !m_id.isEmpty() && !m_name.isEmpty() && !m_variants.isEmpty();
}
