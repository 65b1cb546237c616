// Hook through which the capture store labels rows while decoding is on.
// The protocol symbols implement it; the store only calls it, so the capture
// pipeline does not depend on how symbols are kept.
#pragma once

#include "capture/capturerow.h"

class RowLabeler
{
public:
    virtual ~RowLabeler() = default;
    // Runs on the storing thread for every row stored through the labelling
    // path, just before the row's line is built. May append labels to row.data.
    virtual void applySymbols(CaptureRow &row) = 0;
};
