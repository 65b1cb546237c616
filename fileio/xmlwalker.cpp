#include "fileio/xmlwalker.h"

#include <QObject>

XmlWalker::XmlWalker(QIODevice *device, int maxDepth, bool namespaces)
    : m_xml(device), m_maxDepth(maxDepth)
{
    m_xml.setNamespaceProcessing(namespaces);
}

bool XmlWalker::next()
{
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            // A reader that recursed, or a user who waits, must never meet
            // 50,000 levels.
            if (m_open >= m_maxDepth) {
                m_xml.raiseError(QObject::tr("元素嵌套超过 %1 层").arg(m_maxDepth));
                return false;
            }
            m_haveRoot = true;
            m_node = Node::Start;
            m_depth = m_open++;
            return true;
        case QXmlStreamReader::EndElement:
            m_node = Node::End;
            m_depth = --m_open;
            return true;
        case QXmlStreamReader::Characters:
            if (m_xml.isWhitespace() && !m_xml.isCDATA())
                break; // blank text is no node
            m_node = Node::Text;
            m_depth = m_open;
            return true;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::EntityReference:
            m_node = Node::Other;
            m_depth = m_open;
            return true;
        default:
            break;
        }
    }
    return false;
}

bool XmlWalker::succeeded(QString *errorText) const
{
    if (!m_xml.hasError() && m_haveRoot)
        return true;
    if (errorText)
        *errorText =
            m_xml.hasError()
                ? QObject::tr("第 %1 行: %2").arg(m_xml.lineNumber()).arg(m_xml.errorString())
                : QObject::tr("没有根元素");
    return false;
}
