#include "symbolfile.h"

#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTextStream>

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
} // namespace

QString SymbolFile::defaultPath()
{
    return QStringLiteral("./symbols/symboldef.xml");
}

void SymbolFile::makeDefaultDir()
{
    QDir().mkdir(QStringLiteral("symbols"));
}

bool SymbolFile::read(const QString &path, SymbolList *symbols)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    return read(&file, symbols);
}

bool SymbolFile::read(QIODevice *device, SymbolList *symbols)
{
    QDomDocument doc;
    // No namespace processing; white-space-only text nodes are dropped by the parser.
    if (!doc.setContent(device, false)) {
        qDebug() << "setcontent for do error";
        return false;
    }
    if (doc.isNull()) {
        qDebug() << "document is null";
        return false;
    }
    const QDomElement root = doc.documentElement();
    if (root.isNull())
        return false;

    SymbolList result;
    for (QDomNode n = root.firstChild(); !n.isNull(); n = n.nextSibling()) {
        QStringList texts;
        texts << n.toElement().attribute(QStringLiteral("Name"));
        for (QDomNode c = n.firstChild(); !c.isNull() && texts.size() < SymbolDef::kFieldCount;
             c = c.nextSibling())
            texts << (c.isElement() ? c.toElement().text() : QString());
        result << SymbolDef::fromList(texts);
    }
    *symbols = result;
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
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (errorString)
            *errorString = file.errorString();
        return false;
    }
    QTextStream out(&file);
    serialise(buildDocument(symbols), out);
    // A full disk must not be reported as a saved file.
    const bool ok = out.status() == QTextStream::Ok && file.flush();
    if (!ok && errorString)
        *errorString = file.errorString();
    file.close();
    return ok;
}
