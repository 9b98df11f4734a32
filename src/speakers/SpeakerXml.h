#pragma once

#include <QMap>
#include <QXmlStreamReader>

// Shared steps of reading the catalogue's nested records.
namespace SpeakerXml {

// Text of the element the reader stands on; child elements are skipped rather than
// failing the whole document.
inline QString text(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::SkipChildElements);
}

// Advances to the next start element inside `element`; false at its end element or at the
// end of the document.
inline bool nextChild(QXmlStreamReader &xml, const QString &element)
{
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == element)
            return false;
        if (xml.isStartElement())
            return true;
    }
    return false;
}

// Reads one child record and keeps it under its id when valid; a later record with the
// same id replaces the earlier one.
template<typename Record>
void readChild(QXmlStreamReader &xml, QObject *owner, QMap<QString, Record *> &children)
{
    auto *child = new Record(owner);
    child->read(xml);
    if (!child->isValid()) {
        delete child;
        return;
    }
    delete children.value(child->id());
    children.insert(child->id(), child);
}

} // namespace SpeakerXml
