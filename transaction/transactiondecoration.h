// What a transaction decodes to beyond its bytes, told by a party outside
// this library (the device profiles): its text and the registers it
// touches. Decoding carries state from one transaction to the next (a
// device's register pointer), so transactions are fed in bus order from a
// point whose state is known: the start, or a checkpoint.
//
// Threads: one decoration is used by one thread; clone() gives another
// thread one of its own.
#pragma once

#include "transaction/transaction.h"

#include <memory>
#include <string>
#include <vector>

class CaptureStore;
class TransactionIndex;

class TransactionDecoration
{
public:
    struct Output
    {
        std::string text;    // one part per decoded segment, "; " between them
        bool marked = false; // some value was shown raw: out of its enumeration, not BCD, ...
        // With details only:
        std::string details;                // per register: name, place, value, raw, fields
        std::vector<std::string> registers; // the names of the registers touched
    };

    virtual ~TransactionDecoration() = default;

    // Another one for another thread: the same decoding, not yet placed.
    virtual std::unique_ptr<TransactionDecoration> clone() const = 0;
    // Moves whenever the decoding starts again (other profiles): texts
    // decoded before may be stale.
    virtual quint64 version() const = 0;
    // The latest transaction at or before k whose state is known (0: the
    // start, where no pointer is known yet).
    virtual qint64 checkpoint(qint64 k) const = 0;

    // Takes the state before transaction checkpoint(k) and returns it:
    // transactions from there to k-1 are to be fed before k.
    qint64 rewind(qint64 k);
    // The transaction the state is before, -1 when not placed.
    qint64 next() const { return m_next; }
    // Takes the state before transaction k, feeding what lies between its
    // checkpoint (or the place reached, when nearer) and k, read from store
    // (the caller holds it). When more than maxFeed (>= 0) transactions would
    // be fed, or a line cannot be read, takes the start's state instead (no
    // pointer known: honest, if vague) and returns false; so does every
    // later transaction fed on from there.
    bool seek(const CaptureStore &store, const TransactionIndex &index, qint64 k,
              qint64 maxFeed = -1);
    // As seek() with no limit, but feeding at most maxFeed transactions a
    // call: false while k is not reached yet, so a caller far past the
    // checkpoints (just after an Open) gives the store back between calls.
    bool approach(const CaptureStore &store, const TransactionIndex &index, qint64 k,
                  qint64 maxFeed);
    // Decodes t, the transaction the state is before, into *out (an empty
    // text: nothing decodes it); details: also the details and registers.
    void decode(const Transaction &t, Output *out, bool details);

protected:
    // Takes the state before transaction checkpoint(k) and returns it.
    virtual qint64 restore(qint64 k) = 0;
    virtual void decodeNext(const Transaction &t, Output *out, bool details) = 0;

private:
    qint64 m_next = -1;
    quint64 m_version = 0; // version() when placed
    bool m_exact = false;  // the state since the last seek is the decoded one
    Output m_passed;       // what fed transactions decode to, dropped
    Transaction m_transaction;
};
