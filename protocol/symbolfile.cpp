#include "protocol/symbolfile.h"

#include "fileio/regularfile.h"
#include "fileio/xmlwalker.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTextStream>

#include <cstring>
#include <utility>

namespace {
const char *const kFieldElementNames[] = {"Type", "Addr", "Data", "BytePosition", "ReadWrite"};

QDomDocument buildDocument(const SymbolList &symbols)
{
    QDomDocument doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""));
    QDomElement root = doc.createElement("Symbols");
    doc.appendChild(root);
    for (const SymbolDef &s : symbols) {
        QDomElement e = doc.createElement("Symbol");
        e.setAttribute("Name", s.name());
        for (int f = SymbolDef::Type; f <= SymbolDef::ReadWrite; ++f) {
            QDomElement child = doc.createElement(kFieldElementNames[f - SymbolDef::Type]);
            child.appendChild(doc.createTextNode(s[f]));
            e.appendChild(child);
        }
        root.appendChild(e);
    }
    return doc;
}

void serialise(const QDomDocument &doc, QTextStream &out)
{
    out.setCodec("UTF-8");
    doc.save(out, 4, QDomNode::EncodingFromDocument);
    out.flush();
}

// The layout write() produces, parsed straight from the bytes: large files
// load about ten times faster than through the general reader. Anything else
// (other names or attributes, comments, CDATA, character references, a BOM,
// control characters, bytes that are not UTF-8) makes it give up, and the
// general reader, which accepts the same files, decides; so the two always
// agree and a malformed file is never half-read here.
class CanonicalReader
{
public:
    explicit CanonicalReader(const QByteArray &bytes)
        : m_p(bytes.constData()), m_end(bytes.constData() + bytes.size())
    {
    }

    bool read(SymbolList *symbols)
    {
        if (!literal("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"))
            return false;
        skipSpace();
        if (literal("<Symbols/>")) {
            if (!atEnd())
                return false;
            symbols->clear();
            return true;
        }
        if (!literal("<Symbols>"))
            return false;
        SymbolList result;
        for (;;) {
            skipSpace();
            if (literal("</Symbols>"))
                break;
            SymbolDef s;
            if (!literal("<Symbol Name=\"") || !text('"', &s[SymbolDef::Name]) || !literal("\">"))
                return false;
            for (int f = SymbolDef::Type; f <= SymbolDef::ReadWrite; ++f) {
                skipSpace();
                if (!field(kFieldElementNames[f - SymbolDef::Type], &s[f]))
                    return false;
            }
            skipSpace();
            if (!literal("</Symbol>"))
                return false;
            result << std::move(s);
        }
        if (!atEnd())
            return false;
        *symbols = std::move(result);
        return true;
    }

private:
    bool atEnd()
    {
        skipSpace();
        return m_p == m_end;
    }
    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\t'))
            ++m_p;
    }
    bool literal(const char *s)
    {
        const size_t n = std::strlen(s);
        if (size_t(m_end - m_p) < n || std::memcmp(m_p, s, n) != 0)
            return false;
        m_p += n;
        return true;
    }
    // <name>text</name> or <name/>.
    bool field(const char *name, QString *out)
    {
        const size_t n = std::strlen(name);
        if (m_end - m_p < 3 || *m_p != '<' || size_t(m_end - m_p - 1) < n + 1 ||
            std::memcmp(m_p + 1, name, n) != 0)
            return false;
        m_p += 1 + n;
        if (literal("/>"))
            return true;
        if (!literal(">") || !text('<', out) || !literal("</"))
            return false;
        return literal(name) && literal(">");
    }
    // Up to stop, with the five predefined entities restored. Blank text in
    // an element is dropped, as the general reader drops it.
    bool text(char stop, QString *out)
    {
        const char *begin = m_p;
        bool escaped = false, wide = false, blank = true;
        for (; m_p != m_end && *m_p != stop; ++m_p) {
            const uchar c = uchar(*m_p);
            if (c == '<' || (c < 0x20 && (stop == '"' || (c != '\t' && c != '\n'))))
                return false; // attribute values would have white space normalised
            if (c == ']' && m_end - m_p >= 3 && m_p[1] == ']' && m_p[2] == '>')
                return false;
            escaped |= c == '&';
            wide |= c >= 0x80;
            blank &= c == ' ' || c == '\t' || c == '\n';
        }
        if (m_p == m_end)
            return false;
        QByteArray raw = QByteArray::fromRawData(begin, int(m_p - begin));
        if (escaped && !unescape(&raw))
            return false;
        if (stop == '<' && blank)
            out->clear();
        else
            *out = QString::fromUtf8(raw);
        // Invalid UTF-8 decodes to U+FFFD; XML also refuses U+FFFE and U+FFFF.
        if (wide)
            for (const QChar c : *out)
                if (c.unicode() >= 0xFFFD)
                    return false;
        return true;
    }
    static bool unescape(QByteArray *raw)
    {
        static const std::pair<const char *, char> kEntities[] = {
            {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
        QByteArray plain;
        plain.reserve(raw->size());
        for (int i = 0; i < raw->size();) {
            if (raw->at(i) != '&') {
                plain += raw->at(i++);
                continue;
            }
            bool known = false;
            for (const auto &[entity, c] : kEntities) {
                const int n = int(std::strlen(entity));
                if (raw->mid(i, n) == entity) {
                    plain += c;
                    i += n;
                    known = true;
                    break;
                }
            }
            if (!known)
                return false;
        }
        *raw = plain;
        return true;
    }

    const char *m_p;
    const char *m_end;
};
} // namespace

QString SymbolFile::defaultPath()
{
    return QStringLiteral("./symbols/symboldef.xml");
}

void SymbolFile::makeDefaultDir()
{
    QDir().mkdir(QStringLiteral("symbols"));
}

bool SymbolFile::read(const QString &path, SymbolList *symbols, QString *errorString)
{
    QFile file;
    if (RegularFile::open(file, path, QIODevice::ReadOnly | QIODevice::Text, errorString) !=
        RegularFile::Status::Opened)
        return false;
    return read(&file, symbols, errorString);
}

bool SymbolFile::read(QIODevice *device, SymbolList *symbols, QString *errorString)
{
    const QByteArray bytes = device->readAll();
    if (CanonicalReader(bytes).read(symbols))
        return true;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // Every child node of the root is one symbol whatever its name or kind
    // (an element, non-blank text, a comment, ...); each child node of a
    // symbol is its next field: an element gives its whole text, anything
    // else an empty text. Blank text counts as no node at all.
    XmlWalker xml(&buffer, kMaxDepth, false);
    SymbolList result;
    QStringList texts; // the symbol being read: Name, then its fields
    QString field;     // text of the field element being read
    bool inField = false;
    const auto childNode = [&](int depth, bool isElement) {
        if (depth == 1 && !isElement) {
            result << SymbolDef();
        } else if (depth == 2 && texts.size() < SymbolDef::kFieldCount) {
            if (isElement)
                inField = true;
            else
                texts << QString();
        }
    };
    while (xml.next()) {
        const int depth = xml.depth(); // the root is at 0
        switch (xml.node()) {
        case XmlWalker::Node::Start:
            childNode(depth, true);
            if (depth == 1)
                texts = QStringList{xml.attribute(QLatin1String("Name")).toString()};
            break;
        case XmlWalker::Node::End:
            if (depth == 2 && inField) {
                texts << field;
                field.clear();
                inField = false;
            } else if (depth == 1) {
                result << SymbolDef::fromList(texts);
            }
            break;
        case XmlWalker::Node::Text:
            if (inField)
                field += xml.text();
            else
                childNode(depth, false);
            break;
        case XmlWalker::Node::Other:
            childNode(depth, false);
            break;
        }
    }
    QString why;
    if (!xml.succeeded(&why)) {
        // The reason ends a sentence of the caller's own.
        if (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        qDebug() << "setcontent for do error" << why;
        if (errorString)
            *errorString = why;
        return false;
    }
    *symbols = std::move(result);
    return true;
}

QByteArray SymbolFile::toXml(const SymbolList &symbols)
{
    QByteArray bytes;
    QTextStream out(&bytes, QIODevice::WriteOnly);
    serialise(buildDocument(symbols), out);
    return bytes;
}

bool SymbolFile::write(const QString &path, const SymbolList &symbols, QString *errorString)
{
    QFile file;
    if (RegularFile::open(file, path, QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text,
                          errorString) != RegularFile::Status::Opened)
        return false;
    QTextStream out(&file);
    serialise(buildDocument(symbols), out);
    // A full disk must not be reported as a saved file.
    const bool ok = out.status() == QTextStream::Ok && file.flush();
    if (!ok && errorString)
        *errorString = file.errorString();
    file.close();
    return ok;
}
