// Walks the program's own XML files (symbols, start settings) node by node,
// the way both are read: by position, streaming without building a tree,
// with the nesting limit and the error texts in one place.
//   XmlWalker walker(device, kMaxDepth);
//   while (walker.next()) { switch (walker.node()) ... walker.depth() ... }
//   if (!walker.succeeded(&why)) ...
#pragma once

#include <QString>
#include <QXmlStreamReader>

class QIODevice;

class XmlWalker
{
public:
    enum class Node {
        Start, // an element opens: attribute() reads its attributes
        End,   // an element closes
        Text,  // text that is not blank, or CDATA: text() holds it
        Other, // a comment, a processing instruction or an entity reference
    };

    // Reads device (open, not owned). From maxDepth open elements on, an
    // element start stops the walk with "元素嵌套超过 n 层". namespaces:
    // whether undeclared prefixes are errors (QXmlStreamReader's processing).
    XmlWalker(QIODevice *device, int maxDepth, bool namespaces = true);

    // Moves to the next node; false at the end of the document or at the
    // first error.
    bool next();
    Node node() const { return m_node; }
    // Elements open around the node: 0 for the root's Start and End, 1 for
    // the root's children, ...
    int depth() const { return m_depth; }
    QStringRef text() const { return m_xml.text(); }
    QStringRef attribute(QLatin1String name) const { return m_xml.attributes().value(name); }
    QXmlStreamAttributes attributes() const { return m_xml.attributes(); }
    // The element's name (Start and End), for readers that go by name.
    QStringRef name() const { return m_xml.name(); }
    // Stops the walk as a malformed document would: succeeded() then gives
    // "第 n 行: reason" with the line of the current node.
    void fail(const QString &reason) { m_xml.raiseError(reason); }

    // After the walk: false when the document is malformed, nests too deeply
    // or has no root element, with *errorText "第 n 行: reason" (Qt's reason
    // as it gives it) or "没有根元素".
    bool succeeded(QString *errorText = nullptr) const;

private:
    QXmlStreamReader m_xml;
    int m_maxDepth;
    int m_open = 0; // elements open after the current node
    int m_depth = 0;
    Node m_node = Node::Other;
    bool m_haveRoot = false;
};
