// Told of every line the capture store keeps, so that what is kept beside the
// file (per-block summaries for find and filter, per-address statistics) is
// built as rows arrive instead of by reading the file again.
//
// Threads: called by the store on the thread that stores (the capture
// callback's, or the GUI's for Open and Clear), while that thread holds the
// store (see CapturePipeline). An observer that is read from another thread
// guards its own state.
#pragma once

#include "capture/capturerow.h"

#include <QtGlobal>

class StoreObserver
{
public:
    virtual ~StoreObserver() = default;
    // Line `line` (0-based) was stored for row; row.data holds its labels.
    virtual void lineAdded(qint64 line, const CaptureRow &row) = 0;
    // The last stored line, `line`, took the data byte of row (Merge).
    virtual void lineMerged(qint64 line, const CaptureRow &row) = 0;
    // The store was emptied (Clear, Open, a new file).
    virtual void storeReset() = 0;
    // Only the first `lines` lines stay (the rest could not be written).
    virtual void linesKept(qint64 lines) = 0;
    // A batch of rows was handled; its lines become visible to other threads
    // right after this call.
    virtual void batchEnded() {}
};
