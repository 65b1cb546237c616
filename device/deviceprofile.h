// One part as a device profile describes it: who it is, the addresses it
// may answer at, how its register pointer moves, and its registers, or, for
// a command-style part, its command table. A profile with a pointer and
// neither registers nor commands is a memory: its accesses show as address
// ranges (a part without pointer and registers: one byte, at 00). Read from a file by
// ProfileReader; immutable once indexed, so decoders on any thread may share it.
#pragma once

#include "device/profileregister.h"

#include <cstdint>
#include <string>
#include <vector>

// A command of a command-style part: its code, the arguments written after
// it, the response read after it, and how further written bytes show.
struct ProfileCommand
{
    enum class Data : uint8_t { Hex, Count }; // each byte in hex, or only how many

    uint32_t code = 0;
    std::string name;
    std::vector<ProfileRegister> arguments;
    std::vector<ProfileRegister> response;
    Data data = Data::Hex;
};

class DeviceProfile
{
public:
    std::string id; // lower-case part name, unique in a library
    std::string name;
    std::string datasheet;
    std::string revision;
    std::vector<uint8_t> addresses; // 7-bit

    int pointerBytes = 1;   // 0: none (a single register at 0), 1 or 2 (high byte first)
    bool increment = true;  // each access moves the pointer past the register it used
    uint32_t size = 0;      // the pointer wraps to 0 here; 0: at the pointer's range
    uint32_t page = 0;      // accesses wrap within pages of this size; 0: none
    uint32_t writePage = 0; // writes wrap within pages of this size (EEPROM page writes)

    int commandBytes = 0; // a command-style part: its command codes' length (1 or 2)
    std::vector<ProfileRegister> registers;
    std::vector<ProfileCommand> commands;

    std::string file; // where it was read from, for messages

    bool isMemory() const { return commandBytes == 0 && registers.empty(); }
    // The pointer's range: 1 << 8 * pointerBytes, or size when smaller.
    uint32_t span() const;
    // Where the pointer goes after an access of step bytes at pointer.
    uint32_t next(uint32_t pointer, uint32_t step, bool write) const;

    // Sorts the registers and commands and builds the lookups; call once
    // after filling them in. False with *why when two share an address or code.
    bool index(std::string *why);
    const ProfileRegister *registerAt(uint32_t address) const;
    const ProfileRegister *registerNamed(const std::string &name) const;
    const ProfileCommand *command(uint32_t code) const;

private:
    std::vector<int32_t> m_byAddress; // register index per address, -1: none
};
