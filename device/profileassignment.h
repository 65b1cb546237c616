// Which profile decodes which address: the user's choice where there is
// one (a profile, or none at all), otherwise the one profile of the library
// that claims the address, where exactly one does. Addresses are resolved
// the first time a transaction shows them, so a decoder holds only the
// profiles of addresses seen.
#pragma once

#include "device/profiledecoder.h"
#include "device/profilelibrary.h"

#include <array>
#include <bitset>
#include <string>

class ProfileAssignment
{
public:
    // library must outlive the assignment.
    explicit ProfileAssignment(const ProfileLibrary *library) : m_library(library) {}

    // id: a profile of the library, or empty for none (the address is not decoded).
    void choose(uint8_t address, const std::string &id);
    void clearChoice(uint8_t address); // back to automatic
    bool hasChoice(uint8_t address) const { return m_chosen[address & 0x7F]; }
    const std::string &choice(uint8_t address) const { return m_choice[address & 0x7F]; }

    // The chosen profile, else the sole claimant; nullptr: none.
    std::shared_ptr<const DeviceProfile> profileFor(uint8_t address) const;
    // Gives decoder the profile of each address of t seen for the first time.
    void apply(const Transaction &t, ProfileDecoder *decoder);
    // Forgets which addresses were seen: the next transactions resolve them anew.
    void forgetSeen() { m_seen.reset(); }

private:
    const ProfileLibrary *m_library;
    std::bitset<128> m_chosen;
    std::array<std::string, 128> m_choice;
    std::bitset<128> m_seen;
};
