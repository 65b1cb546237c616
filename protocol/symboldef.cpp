#include "protocol/symboldef.h"

#include <QDebug>

SymbolDef::SymbolDef(const QString &name, const QString &type, const QString &addr,
                     const QString &data, const QString &bytePosition, const QString &readWrite)
    : m_fields{name, type, addr, data, bytePosition, readWrite}
{
}

SymbolDef SymbolDef::fromList(const QStringList &texts)
{
    SymbolDef s;
    const int n = std::min(int(texts.size()), kFieldCount);
    for (int i = 0; i < n; ++i)
        s.m_fields[size_t(i)] = texts.at(i);
    return s;
}

QStringList SymbolDef::toStringList() const
{
    QStringList l;
    l.reserve(kFieldCount);
    for (const QString &f : m_fields)
        l << f;
    return l;
}

int SymbolDef::convertBytePosition(const QString &text, bool *ok)
{
    bool converted = false;
    const int n = text.toInt(&converted, 0);
    if (ok)
        *ok = converted;
    return converted ? n : 0;
}

QDebug operator<<(QDebug dbg, const SymbolDef &symbol)
{
    return dbg << symbol.toStringList();
}
