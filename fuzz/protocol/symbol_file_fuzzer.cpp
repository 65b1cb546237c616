// Feeds arbitrary bytes to the symbol file reader as a hand-edited file and
// labels rows with whatever it read: every symbol has all six texts, what was
// read writes and reads back the same, and no label can split a stored line.
#include "capture/capturerow.h"
#include "fuzzrequire.h"
#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"

#include <QBuffer>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

bool readXml(const QByteArray &xml, SymbolList *symbols)
{
    QByteArray bytes = xml;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    return SymbolFile::read(&in, symbols);
}

// XML 1.0 cannot carry every text: control characters other than tab and
// line feed, carriage returns (normalised to line feeds) and lone
// surrogates do not survive a write and a read.
bool xmlSafe(const QString &s)
{
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if ((c.unicode() < 0x20 && c != '\t' && c != '\n') || c.unicode() == 0xFFFE ||
            c.unicode() == 0xFFFF)
            return false;
        if (c.isHighSurrogate()) {
            if (i + 1 >= s.size() || !s[i + 1].isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

bool lineSafe(const std::string &s)
{
    return s.find_first_of(std::string(",\r\n\0", 4)) == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qInstallMessageHandler(quiet);
    const QByteArray file(reinterpret_cast<const char *>(data), int(size));

    SymbolList symbols{{"untouched", "ADDR", "50", "-", "0", "WRITE"}};
    const SymbolList before = symbols;
    if (!readXml(file, &symbols)) {
        require(symbols == before);
        return 0;
    }

    bool safe = true;
    for (const SymbolDef &s : symbols) {
        require(s.toStringList().size() == SymbolDef::kFieldCount);
        for (const QString &t : s.toStringList())
            safe = safe && xmlSafe(t);
        require(lineSafe(SymbolLabeler::labelText(s.name())));
    }
    if (safe) {
        SymbolList again;
        require(readXml(SymbolFile::toXml(symbols), &again));
        require(again == symbols);
    }

    // Label a short bus transfer with every symbol in force: the labels may
    // land anywhere, but the data text never gains a field or a line.
    SymbolLabeler decoder;
    decoder.setActiveSymbols(symbols);
    for (int i = 0; i < 64; ++i) {
        CaptureRow row;
        const int kind = i % 8;
        if (kind == 0) {
            row = CaptureRow::start(i);
        } else if (kind == 7) {
            row = CaptureRow::stop(i);
        } else {
            row.type = kind == 1 ? CaptureRow::Type::Addr : CaptureRow::Type::Data;
            row.hasAddress = true;
            row.address = uint8_t(size ? data[i % size] & 0x7F : 0x50);
            row.direction = (i & 8) ? CaptureRow::Direction::Read : CaptureRow::Direction::Write;
            row.data = kind == 1 ? "--" : "A5";
            row.timeNs = i;
        }
        decoder.applySymbols(row);
        require(lineSafe(row.data));
    }
    return 0;
}
