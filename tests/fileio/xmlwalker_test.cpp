// The walk both XML readers share: nodes by position with their depth, blank
// text skipped, the nesting limit at exactly its depth, and the error texts.
#include "fileio/xmlwalker.h"

#include <gtest/gtest.h>

#include <QBuffer>

namespace {
// "S0 T1:x ..." for a document: node kind, depth and text or Name; then "ok" or the error text.
std::string walk(const QByteArray &xml, int maxDepth, bool namespaces = true)
{
    QByteArray bytes = xml;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    XmlWalker walker(&buffer, maxDepth, namespaces);
    std::string out;
    while (walker.next()) {
        out += "SETO"[int(walker.node())] + std::to_string(walker.depth());
        if (walker.node() == XmlWalker::Node::Text)
            out += ":" + walker.text().toString().toStdString();
        if (walker.node() == XmlWalker::Node::Start)
            out += walker.attribute(QLatin1String("Name")).toString().toStdString();
        out += ' ';
    }
    QString why;
    out += walker.succeeded(&why) ? "ok" : why.toStdString();
    return out;
}
} // namespace

TEST(XmlWalker, NodesDepthsLimitAndErrors)
{
    EXPECT_EQ(walk("<?xml version=\"1.0\"?>\n<r>\n  <s Name=\"n\"><!--c--> a <![CDATA[ ]]></s>\n"
                   "  <?pi x?>\n</r>",
                   3),
              "S0 S1n O2 T2: a  T2:  E1 O1 E0 ok");
    // Two open elements around the third: refused at a limit of 2, read at 3.
    EXPECT_EQ(walk("<a><b><c/></b></a>", 3), "S0 S1 S2 E2 E1 E0 ok");
    EXPECT_EQ(walk("<a><b><c/></b></a>", 2), "S0 S1 第 1 行: 元素嵌套超过 2 层");
    EXPECT_EQ(walk("<!-- only -->", 2), "O0 第 1 行: Premature end of document.");
    // An undeclared prefix is an error only with namespace processing.
    EXPECT_EQ(walk("<x:a/>", 2, false), "S0 E0 ok");
    EXPECT_NE(walk("<x:a/>", 2, true).substr(0, 6), "S0 E0 ");
}
