// A plain list pass over the symbols, written for clarity, against which
// the decoder's indexed labelling is checked.
#pragma once

#include "capturerow.h"
#include "symboldef.h"

#include <QList>
#include <QPair>

class ReferenceLabeler
{
public:
    SymbolList activeSymbols;
    QList<QPair<QString, int>> pendingLabels;

    void applySymbols(CaptureRow &row);
};
