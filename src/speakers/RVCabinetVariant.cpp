#include "RVCabinetVariant.h"

#include "SpeakerXml.h"

namespace {
int frequencyFrom(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : -1;
}
}

RVCabinetVariant::RVCabinetVariant(QObject *parent) : QObject(parent) {}

void RVCabinetVariant::read(QXmlStreamReader &xml)
{
    while (SpeakerXml::nextChild(xml, QStringLiteral("var"))) {
        const auto element = xml.name();
        if (element == QLatin1String("id"))
            m_id = SpeakerXml::text(xml).trimmed();
        else if (element == QLatin1String("name"))
            m_name = SpeakerXml::text(xml);
        else if (element == QLatin1String("minFr"))
            m_minFrequency = frequencyFrom(SpeakerXml::text(xml));
        else if (element == QLatin1String("maxFr"))
            m_maxFrequency = frequencyFrom(SpeakerXml::text(xml));
    }
}

bool RVCabinetVariant::isValid() const
{
    return !m_id.isEmpty() && !m_name.isEmpty() && m_minFrequency >= 0 && m_maxFrequency >= 0;
}
