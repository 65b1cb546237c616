// Decodes transactions with device profiles for the transaction view and
// its find and filter: from the checkpoints of a DecodeCheckpoints, or,
// without them, from the start with the profiles of an assignment.
#pragma once

#include "device/decodecheckpoints.h"
#include "device/profiledecoder.h"
#include "transaction/transactiondecoration.h"

#include <memory>

class ProfileDecoration : public TransactionDecoration
{
public:
    // checkpoints outlive this.
    explicit ProfileDecoration(const DecodeCheckpoints *checkpoints);
    // No checkpoints: every rewind goes to the start. The assignment's
    // library outlives this.
    explicit ProfileDecoration(const ProfileAssignment &assignment);

    std::unique_ptr<TransactionDecoration> clone() const override;
    quint64 version() const override;
    qint64 checkpoint(qint64 k) const override;

protected:
    qint64 restore(qint64 k) override;
    void decodeNext(const Transaction &t, Output *out, bool details) override;

private:
    const DecodeCheckpoints *m_checkpoints = nullptr;
    std::shared_ptr<const DecodeCheckpoints::Profiles> m_profiles; // the decoder's
    ProfileDecoder m_decoder;
};
