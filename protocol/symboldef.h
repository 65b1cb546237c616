// One protocol symbol: six texts addressed by position. The texts are kept
// exactly as the dialog or a symbol file gave them; nothing is validated here.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

class QDebug;

class SymbolDef
{
public:
    enum Field { Name = 0, Type, Addr, Data, BytePosition, ReadWrite };
    static constexpr int kFieldCount = 6;

    SymbolDef() = default;
    SymbolDef(const QString &name, const QString &type, const QString &addr, const QString &data,
              const QString &bytePosition, const QString &readWrite);

    // Takes the texts by position. Missing positions become empty texts and
    // texts beyond the sixth are dropped, so every symbol always has all six
    // fields and no reader can run past its end.
    static SymbolDef fromList(const QStringList &texts);
    QStringList toStringList() const;

    // Byte position text to a number of rows: base from the prefix ("0x"
    // hexadecimal, leading "0" octal, otherwise decimal). Returns 0 and sets
    // *ok false when the text does not convert.
    static int convertBytePosition(const QString &text, bool *ok = nullptr);

    QString &operator[](int field) { return m_fields[size_t(field)]; }
    const QString &operator[](int field) const { return m_fields[size_t(field)]; }

    const QString &name() const { return m_fields[Name]; }
    const QString &type() const { return m_fields[Type]; }
    const QString &addr() const { return m_fields[Addr]; }
    const QString &data() const { return m_fields[Data]; }
    const QString &bytePosition() const { return m_fields[BytePosition]; }
    const QString &readWrite() const { return m_fields[ReadWrite]; }

    bool operator==(const SymbolDef &o) const { return m_fields == o.m_fields; }
    bool operator!=(const SymbolDef &o) const { return !(*this == o); }

private:
    std::array<QString, kFieldCount> m_fields;
};

using SymbolList = QVector<SymbolDef>;

QDebug operator<<(QDebug dbg, const SymbolDef &symbol);
