#include "RVCabinet.h"

#include "RVCabinetMode.h"
#include "SpeakerXml.h"

RVCabinet::RVCabinet(QObject *parent) : QObject(parent) {}

void RVCabinet::read(QXmlStreamReader &xml)
{
    while (SpeakerXml::nextChild(xml, QStringLiteral("cab"))) {
        const auto element = xml.name();
        if (element == QLatin1String("id")) {
            m_id = SpeakerXml::text(xml).trimmed();
        } else if (element == QLatin1String("name")) {
            m_name = SpeakerXml::text(xml);
        } else if (element == QLatin1String("type")) {
            const QString type = SpeakerXml::text(xml).trimmed();
            m_type = type == QLatin1String("PASS") ? Pass
                : type == QLatin1String("SUB")     ? Sub
                                                   : UnknownType;
        } else if (element == QLatin1String("mode")) {
            SpeakerXml::readChild(xml, this, m_modes);
        }
    }
}

bool RVCabinet::isValid() const
{
    return !m_id.isEmpty() && !m_name.isEmpty() && !m_modes.isEmpty()
        && (m_type == Pass || m_type == Sub);
}
