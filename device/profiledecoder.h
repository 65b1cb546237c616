// Decodes transactions with device profiles: follows each device's register
// pointer (or last command) from transaction to transaction and turns each
// into text such as "DS3231 读 Seconds=45 Minutes=30 Hours=12 (24h)".
// Transactions must be fed in bus order, since a read continues where the
// device's last access left its pointer. One decoder per reader; the
// profiles it holds are immutable and may be shared with other decoders.
#pragma once

#include "device/deviceprofile.h"
#include "transaction/transaction.h"
#include "transaction/transactiondecoration.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

class ProfileDecoder
{
public:
    // Text, mark, and with details the register names and fields.
    using Output = TransactionDecoration::Output;

    // Which profile decodes address (7-bit); nullptr: none. Resets the
    // address's pointer.
    void setProfile(uint8_t address, std::shared_ptr<const DeviceProfile> profile);
    const DeviceProfile *profile(uint8_t address) const { return m_profiles[address & 0x7F].get(); }
    // Forgets every pointer and command, as before the first transaction.
    void reset();

    // Decodes t into *out (cleared first) and moves the pointers. False,
    // with an empty text, when no segment's address has a profile. A cut
    // transaction ends its text with " …" and leaves its devices' pointers
    // unknown.
    bool decode(const Transaction &t, Output *out, bool details = false);

    struct State
    {
        uint32_t pointer = 0;
        bool known = false; // the pointer has been set since the start
        const ProfileCommand *command = nullptr;
    };
    using Snapshot = std::array<State, 128>;
    // Every device's pointer and last command, to decode from a checkpoint
    // (a view's page) rather than from the first transaction again. A
    // snapshot holds for the same profiles only.
    const Snapshot &snapshot() const { return m_states; }
    void restore(const Snapshot &states) { m_states = states; }

private:
    struct Context
    {
        const DeviceProfile &profile;
        State &state;
        Output &out;
        bool details;
        bool write;
    };

    void decodeSegment(const TransactionSegment &s, const TransactionSegment *next, Output *out,
                       bool details);
    static void memory(Context &c, const uint8_t *bytes, size_t n);
    static void registers(Context &c, const uint8_t *bytes, size_t n);
    static void command(Context &c, const uint8_t *bytes, size_t n);
    // Values in sequence (a command's arguments or response); returns the bytes used.
    static size_t values(Context &c, const std::vector<ProfileRegister> &list, const uint8_t *bytes,
                         size_t n);
    static void shown(Context &c, const ProfileRegister &r, const uint8_t *bytes);

    std::array<std::shared_ptr<const DeviceProfile>, 128> m_profiles;
    Snapshot m_states;
};
