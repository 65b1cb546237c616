#include "device/profileassignment.h"

void ProfileAssignment::choose(uint8_t address, const std::string &id)
{
    m_chosen[address & 0x7F] = true;
    m_choice[address & 0x7F] = id;
    m_seen[address & 0x7F] = false;
}

void ProfileAssignment::clearChoice(uint8_t address)
{
    m_chosen[address & 0x7F] = false;
    m_choice[address & 0x7F].clear();
    m_seen[address & 0x7F] = false;
}

std::shared_ptr<const DeviceProfile> ProfileAssignment::profileFor(uint8_t address) const
{
    if (m_chosen[address & 0x7F])
        return m_choice[address & 0x7F].empty() ? nullptr
                                                : m_library->find(m_choice[address & 0x7F]);
    auto claimants = m_library->claimants(address & 0x7F);
    return claimants.size() == 1 ? claimants[0] : nullptr;
}

void ProfileAssignment::apply(const Transaction &t, ProfileDecoder *decoder)
{
    for (const TransactionSegment &s : t.segments) {
        const uint8_t a = s.address & 0x7F;
        if (m_seen[a])
            continue;
        m_seen[a] = true;
        decoder->setProfile(a, profileFor(a));
    }
}
