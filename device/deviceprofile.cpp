#include "device/deviceprofile.h"

#include <algorithm>

namespace {
// Direct lookups up to here; a profile with registers above it (a 2-byte
// pointer) searches the sorted list instead.
constexpr uint32_t kIndexedAddresses = 4096;
} // namespace

uint32_t DeviceProfile::span() const
{
    const uint32_t range = pointerBytes >= 2 ? 0x10000 : pointerBytes == 1 ? 0x100 : 1;
    return size && size < range ? size : range;
}

uint32_t DeviceProfile::next(uint32_t pointer, uint32_t step, bool write) const
{
    if (!increment)
        return pointer;
    const uint32_t pageSize = write && writePage ? writePage : page;
    if (pageSize) {
        const uint32_t base = pointer - pointer % pageSize;
        return (base + (pointer - base + step) % pageSize) % span();
    }
    return (pointer + step) % span();
}

bool DeviceProfile::index(std::string *why)
{
    // Twins are refused below, so the order among equals never matters.
    std::sort(registers.begin(), registers.end(),
              [](const auto &a, const auto &b) { return a.address < b.address; });
    std::sort(commands.begin(), commands.end(),
              [](const auto &a, const auto &b) { return a.code < b.code; });
    const auto twin = std::adjacent_find(registers.begin(), registers.end(),
                                         [](auto &a, auto &b) { return a.address == b.address; });
    if (twin != registers.end()) {
        *why = "两个寄存器同在地址 ";
        appendHex(*why, twin->address, pointerBytes >= 2 ? 4 : 2);
        return false;
    }
    const auto twinCommand = std::adjacent_find(commands.begin(), commands.end(),
                                                [](auto &a, auto &b) { return a.code == b.code; });
    if (twinCommand != commands.end()) {
        *why = "两个命令同为 ";
        appendHex(*why, twinCommand->code, 2 * commandBytes);
        return false;
    }
    m_byAddress.clear();
    if (!registers.empty() && registers.back().address < kIndexedAddresses) {
        m_byAddress.assign(registers.back().address + 1, -1);
        for (size_t i = 0; i < registers.size(); ++i)
            m_byAddress[registers[i].address] = int32_t(i);
    }
    return true;
}

const ProfileRegister *DeviceProfile::registerAt(uint32_t address) const
{
    if (!m_byAddress.empty()) {
        if (address >= m_byAddress.size())
            return nullptr;
        const int32_t i = m_byAddress[address];
        return i < 0 ? nullptr : &registers[size_t(i)];
    }
    const auto it = std::lower_bound(registers.begin(), registers.end(), address,
                                     [](const auto &r, uint32_t a) { return r.address < a; });
    return it != registers.end() && it->address == address ? &*it : nullptr;
}

const ProfileRegister *DeviceProfile::registerNamed(const std::string &wanted) const
{
    for (const ProfileRegister &r : registers)
        if (r.name == wanted)
            return &r;
    return nullptr;
}

const ProfileCommand *DeviceProfile::command(uint32_t code) const
{
    const auto it = std::lower_bound(commands.begin(), commands.end(), code,
                                     [](const auto &c, uint32_t v) { return c.code < v; });
    return it != commands.end() && it->code == code ? &*it : nullptr;
}
