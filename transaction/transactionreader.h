// Reads one transaction of the store back from its lines, finding them
// through the TransactionIndex (see TransactionBuilder for how lines become
// a transaction).
#pragma once

#include "transaction/transaction.h"
#include "transaction/transactionbuilder.h"

class CaptureStore;
class TransactionIndex;

class TransactionReader
{
public:
    static constexpr qint64 kMaxLines = TransactionBuilder::kMaxLines;

    // Transaction k, its first maxLines rows read whole; a longer one is cut,
    // its last row still giving its duration. The caller holds the store.
    // False when there is no k or its lines cannot be read.
    static bool read(const CaptureStore &store, const TransactionIndex &index, qint64 k,
                     Transaction *out, qint64 maxLines = kMaxLines);
};
