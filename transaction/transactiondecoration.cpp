#include "transaction/transactiondecoration.h"

#include "transaction/transactionreader.h"

#include <algorithm>

qint64 TransactionDecoration::rewind(qint64 k)
{
    m_version = version();
    m_next = restore(k);
    m_exact = true;
    return m_next;
}

bool TransactionDecoration::seek(const CaptureStore &store, const TransactionIndex &index, qint64 k,
                                 qint64 maxFeed)
{
    // Feeding on from the place reached beats a rewind when it is nearer.
    const bool placed = m_next >= 0 && m_next <= k && m_version == version();
    const qint64 known = checkpoint(k);
    if (!placed || known > m_next || (!m_exact && (maxFeed < 0 || k - known <= maxFeed)))
        rewind(k);
    if (maxFeed >= 0 && k - m_next > maxFeed) {
        rewind(0);
        m_exact = false;
        m_next = k;
    }
    for (; m_next < k; ++m_next) {
        if (!TransactionReader::read(store, index, m_next, &m_transaction)) {
            rewind(0);
            m_exact = false;
            m_next = k;
            break;
        }
        decodeNext(m_transaction, &m_passed, false);
    }
    return m_exact;
}

bool TransactionDecoration::approach(const CaptureStore &store, const TransactionIndex &index,
                                     qint64 k, qint64 maxFeed)
{
    const bool placed = m_exact && m_next >= 0 && m_next <= k && m_version == version();
    if (!placed || checkpoint(k) > m_next)
        rewind(k);
    if (!seek(store, index, std::min(k, m_next + maxFeed))) {
        m_next = k; // a line could not be read: k is decoded without the pointers
        return true;
    }
    return m_next == k;
}

void TransactionDecoration::decode(const Transaction &t, Output *out, bool details)
{
    decodeNext(t, out, details);
    m_next = t.number + 1;
}
