// Raised whenever the capture store is emptied (Clear, Open): the table then
// forgets its position and the page it shows, since new lines may sit at the
// same offsets as the old ones.
#pragma once

#include "capture/storeobserver.h"

#include <atomic>

class StoreResetFlag : public StoreObserver
{
public:
    // True once after each reset. GUI thread.
    bool take() { return m_reset.exchange(false, std::memory_order_acq_rel); }

    void lineAdded(qint64, const CaptureRow &) override {}
    void lineMerged(qint64, const CaptureRow &) override {}
    // Either thread that stores; an atomic flag is all the state.
    void storeReset() override { m_reset.store(true, std::memory_order_release); }
    void linesKept(qint64) override {}

private:
    std::atomic<bool> m_reset{false};
};
