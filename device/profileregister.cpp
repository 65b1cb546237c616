#include "device/profileregister.h"

uint32_t ProfileRegister::assemble(const uint8_t *bytes) const
{
    uint32_t raw = 0;
    for (int i = 0; i < width; ++i)
        raw = raw << 8 | bytes[littleEndian ? width - 1 - i : i];
    return raw;
}

bool ProfileRegister::appendText(std::string &out, uint32_t raw) const
{
    const ProfileValue *shown = &value;
    for (const ProfileValue &c : cases) {
        if ((raw & c.whenMask) == c.whenValue) {
            shown = &c;
            break;
        }
    }
    bool ok = shown->append(out, raw, bits());
    bool open = false;
    for (const ProfileValue &f : fields) {
        if (!f.inlineShown)
            continue;
        out += open ? ", " : " (";
        open = true;
        ok = f.append(out, raw, bits()) && ok;
    }
    if (open)
        out += ')';
    return ok;
}

void ProfileRegister::appendFields(std::string &out, uint32_t raw) const
{
    for (const ProfileValue &f : fields) {
        out += "  ";
        out += f.name;
        out += '=';
        f.append(out, raw, bits());
        out += '\n';
    }
}
