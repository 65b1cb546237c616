#include "referencelabeler.h"

#include "symboldecoder.h"

void ReferenceLabeler::applySymbols(CaptureRow &row)
{
    const QStringList f = row.toStringList();
    if (f[0] == "STOP")
        pendingLabels.clear();

    for (const SymbolDef &s : activeSymbols) {
        bool match = s.type() == f[0] && s.addr() == f[1] && s.readWrite() == f[2];
        if (s.type() != "ADDR")
            match = match && s.data() == QString::fromStdString(row.data);
        if (!match)
            continue;
        const int n = SymbolDef::convertBytePosition(s.bytePosition());
        if (n == 0)
            row.data += SymbolDecoder::labelText(s.name());
        else
            pendingLabels.append({s.name(), n});
    }

    for (auto &e : pendingLabels) {
        if (e.second == 0 && (f[0] == "ADDR" || f[0] == "DATA"))
            row.data += SymbolDecoder::labelText(e.first);
        --e.second;
    }
    for (int i = pendingLabels.size() - 1; i >= 0; --i)
        if (pendingLabels[i].second < 0)
            pendingLabels.removeAt(i);
}
