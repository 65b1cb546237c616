#include "device/profiledecoder.h"

#include <iterator>

namespace {
// " 12 34 56"
void appendBytes(std::string &out, const uint8_t *bytes, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        out += ' ';
        appendHexByte(out, bytes[i]);
    }
}

// "12 34 56 (不完整)": the bytes of a value the transfer cut short.
void appendCut(std::string &out, const std::string &name, const uint8_t *bytes, size_t n)
{
    out += ' ';
    out += name;
    out += '=';
    appendHexByte(out, bytes[0]);
    appendBytes(out, bytes + 1, n - 1);
    out += " (不完整)";
}

int addressDigits(const DeviceProfile &p)
{
    return p.pointerBytes >= 2 ? 4 : 2;
}
} // namespace

void ProfileDecoder::setProfile(uint8_t address, std::shared_ptr<const DeviceProfile> profile)
{
    m_profiles[address & 0x7F] = std::move(profile);
    m_states[address & 0x7F] = State();
}

void ProfileDecoder::reset()
{
    m_states.fill(State());
}

bool ProfileDecoder::decode(const Transaction &t, Output *out, bool details)
{
    out->text.clear();
    out->details.clear();
    out->registers.clear();
    out->marked = false;
    bool any = false;
    const auto end = t.segments.end();
    for (auto s = t.segments.begin(); s != end; ++s) {
        if (!m_profiles[s->address & 0x7F])
            continue;
        any = true;
        const auto next = std::next(s);
        decodeSegment(*s, next != end ? &*next : nullptr, out, details);
    }
    if (any && t.cut) {
        // Only its first rows were read: where the rest left each pointer
        // is not known, and the text says it stops short.
        out->text += " …";
        for (const TransactionSegment &s : t.segments)
            m_states[s.address & 0x7F] = State();
    }
    return any;
}

void ProfileDecoder::decodeSegment(const TransactionSegment &s, const TransactionSegment *next,
                                   Output *out, bool details)
{
    const DeviceProfile &p = *m_profiles[s.address & 0x7F];
    State &state = m_states[s.address & 0x7F];
    const uint8_t *bytes = s.bytes.data();
    size_t n = s.bytes.size();
    const bool write = !s.read;
    const bool pointer = p.commandBytes == 0 && p.pointerBytes > 0;
    const size_t pointerBytes = size_t(p.pointerBytes);
    // A pointer written just before a read of the same device (a repeated
    // START) belongs to that read, which says what it read.
    if (write && !s.addressNacked && pointer && n == pointerBytes && next &&
        next->address == s.address && next->read && !next->addressNacked) {
        state.pointer =
            (pointerBytes == 2 ? uint32_t(bytes[0]) << 8 | bytes[1] : bytes[0]) % p.span();
        state.known = true;
        return;
    }
    std::string &text = out->text;
    if (!text.empty())
        text += "; ";
    text += p.name;
    if (s.addressNacked) {
        text += " 无应答";
        return;
    }
    text += write ? " 写" : " 读";
    Context c{p, state, *out, details, write};
    if (details) {
        out->details += p.name;
        out->details += write ? " 写\n" : " 读\n";
    }
    if (p.commandBytes > 0) {
        command(c, bytes, n);
        return;
    }
    if (write && pointer) {
        if (n < pointerBytes) {
            if (n == 0) {
                text += " (无数据)";
            } else {
                text += " 指针不完整:";
                appendBytes(text, bytes, n);
                state.known = false; // the part saw half a pointer
            }
            return;
        }
        state.pointer =
            (pointerBytes == 2 ? uint32_t(bytes[0]) << 8 | bytes[1] : bytes[0]) % p.span();
        state.known = true;
        bytes += pointerBytes;
        n -= pointerBytes;
        if (n == 0) {
            text += " 指针=";
            const ProfileRegister *r = p.registerAt(state.pointer);
            if (r)
                text += r->name;
            else
                appendHex(text, state.pointer, addressDigits(p));
            return;
        }
    }
    if (!pointer) {
        state.pointer = 0; // a part without a pointer has one register
        state.known = true;
    }
    if (!state.known) {
        text += " 指针未知:";
        appendBytes(text, bytes, n);
        return;
    }
    if (p.isMemory())
        memory(c, bytes, n);
    else
        registers(c, bytes, n);
}

void ProfileDecoder::memory(Context &c, const uint8_t *bytes, size_t n)
{
    std::string &text = c.out.text;
    const int digits = addressDigits(c.profile);
    // Consecutive addresses as one range; a wrap (at the size or within a
    // page) starts another.
    uint32_t first = c.state.pointer, last = first;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t at = c.state.pointer;
        if (i > 0 && at != last + 1) {
            text += ' ';
            appendHex(text, first, digits);
            if (last != first) {
                text += "..";
                appendHex(text, last, digits);
            }
            text += ',';
            first = at;
        }
        last = at;
        c.state.pointer = c.profile.next(at, 1, c.write);
    }
    if (n == 0) {
        text += " (无数据)";
        return;
    }
    text += ' ';
    appendHex(text, first, digits);
    if (last != first) {
        text += "..";
        appendHex(text, last, digits);
    }
    text += " (" + std::to_string(n) + " 字节)";
    if (c.details) {
        c.out.details += "数据:";
        appendBytes(c.out.details, bytes, n);
        c.out.details += '\n';
    }
}

void ProfileDecoder::shown(Context &c, const ProfileRegister &r, const uint8_t *bytes)
{
    const uint32_t raw = r.assemble(bytes);
    std::string &text = c.out.text;
    if (!r.hidden) {
        text += ' ';
        text += r.name;
        text += '=';
        c.out.marked = !r.appendText(text, raw) || c.out.marked;
        if (c.write && !(r.access & ProfileRegister::WriteOnly))
            text += " (只读)";
        else if (!c.write && !(r.access & ProfileRegister::ReadOnly))
            text += " (只写)";
    }
    if (c.details) {
        std::string &d = c.out.details;
        d += r.name;
        d += " = ";
        r.appendText(d, raw);
        d += " [";
        appendHex(d, raw, 2 * r.width);
        d += "]\n";
        r.appendFields(d, raw);
        c.out.registers.push_back(r.name);
    }
}

void ProfileDecoder::registers(Context &c, const uint8_t *bytes, size_t n)
{
    const DeviceProfile &p = c.profile;
    std::string &text = c.out.text;
    size_t i = 0;
    while (i < n) {
        const ProfileRegister *r = p.registerAt(c.state.pointer);
        if (!r) {
            // An unknown register: its address and the raw bytes, one run
            // while the pointer moves on through unknown addresses.
            text += ' ';
            appendHex(text, c.state.pointer, addressDigits(p));
            text += '=';
            uint32_t at = c.state.pointer;
            do {
                if (text.back() != '=')
                    text += ' ';
                appendHexByte(text, bytes[i++]);
                at = c.state.pointer;
                c.state.pointer = p.next(at, 1, c.write);
            } while (i < n && !p.registerAt(c.state.pointer) &&
                     (c.state.pointer == at + 1 || !p.increment));
            continue;
        }
        if (i + r->width > n) {
            appendCut(text, r->name, bytes + i, n - i);
            c.state.pointer = p.next(c.state.pointer, uint32_t(n - i), c.write);
            return;
        }
        shown(c, *r, bytes + i);
        i += r->width;
        c.state.pointer = p.next(c.state.pointer, r->width, c.write);
    }
}

size_t ProfileDecoder::values(Context &c, const std::vector<ProfileRegister> &list,
                              const uint8_t *bytes, size_t n)
{
    size_t i = 0;
    for (const ProfileRegister &r : list) {
        if (i + r.width > n) {
            if (i < n) {
                appendCut(c.out.text, r.name, bytes + i, n - i);
                i = n;
            }
            break;
        }
        shown(c, r, bytes + i);
        i += r.width;
    }
    return i;
}

void ProfileDecoder::command(Context &c, const uint8_t *bytes, size_t n)
{
    std::string &text = c.out.text;
    const size_t codeBytes = size_t(c.profile.commandBytes);
    const ProfileCommand *cmd = c.state.command;
    if (c.write) {
        if (n < codeBytes) {
            if (n == 0) {
                text += " (无数据)";
                return;
            }
            text += " 命令不完整:";
            appendBytes(text, bytes, n);
            c.state.command = nullptr;
            return;
        }
        const uint32_t code = codeBytes == 2 ? uint32_t(bytes[0]) << 8 | bytes[1] : bytes[0];
        cmd = c.profile.command(code);
        c.state.command = cmd;
        if (!cmd) {
            text += " 命令 ";
            appendHex(text, code, 2 * int(codeBytes));
            text += ProfileValue::invalidMark();
            c.out.marked = true;
            appendBytes(text, bytes + codeBytes, n - codeBytes);
            return;
        }
        text += ' ';
        text += cmd->name;
        bytes += codeBytes;
        n -= codeBytes;
        const size_t used = values(c, cmd->arguments, bytes, n);
        if (used < n && cmd->data == ProfileCommand::Data::Count)
            text += " (" + std::to_string(n - used) + " 字节)";
        else
            appendBytes(text, bytes + used, n - used);
        return;
    }
    if (!cmd) {
        text += " 命令未知:";
        appendBytes(text, bytes, n);
        return;
    }
    const size_t used = values(c, cmd->response, bytes, n);
    appendBytes(text, bytes + used, n - used);
}
