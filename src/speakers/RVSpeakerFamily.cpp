#include "RVSpeakerFamily.h"

#include "RVCabinet.h"
#include "SpeakerXml.h"

RVSpeakerFamily::RVSpeakerFamily(QObject *parent) : QObject(parent) {}

void RVSpeakerFamily::read(QXmlStreamReader &xml)
{
    while (SpeakerXml::nextChild(xml, QStringLiteral("family"))) {
        const auto element = xml.name();
        if (element == QLatin1String("id"))
            m_id = SpeakerXml::text(xml).trimmed();
        else if (element == QLatin1String("name"))
            m_name = SpeakerXml::text(xml);
        else if (element == QLatin1String("cab"))
            SpeakerXml::readChild(xml, this, m_cabinets);
    }
    // Counted over the kept cabinets, after any replacement by id.
    m_passCount = 0;
    m_subCount = 0;
    for (const RVCabinet *cabinet : qAsConst(m_cabinets)) {
        if (cabinet->type() == RVCabinet::Pass)
            ++m_passCount;
        else if (cabinet->type() == RVCabinet::Sub)
            ++m_subCount;
    }
}

bool RVSpeakerFamily::isValid() const
{
    return !m_id.isEmpty() && !m_name.isEmpty() && !m_cabinets.isEmpty();
}
