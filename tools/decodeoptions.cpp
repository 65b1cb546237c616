#include "tools/decodeoptions.h"

#include "tools/eventformats.h"

#include <korvex/korvexhealth.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace korvex {

namespace {

bool takeValue(const char *arg, const char *name, std::string &value)
{
    const size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0 || arg[n] != '=')
        return false;
    value = arg + n + 1;
    return true;
}

// "sm", "fm", "fmplus" or "smbus"; 0 (auto) for anything else.
int modeCode(const std::string &name)
{
    if (name == "sm")
        return KORVEX_HEALTH_MODE_SM;
    if (name == "fm")
        return KORVEX_HEALTH_MODE_FM;
    if (name == "fmplus")
        return KORVEX_HEALTH_MODE_FMPLUS;
    if (name == "smbus")
        return KORVEX_HEALTH_MODE_SMBUS;
    return KORVEX_HEALTH_MODE_AUTO;
}

// "0x50,72,...": 7-bit addresses, hex with 0x or decimal.
bool parsePec(const std::string &list, std::array<bool, 128> &pec)
{
    size_t at = 0;
    while (at <= list.size()) {
        const size_t comma = std::min(list.find(',', at), list.size());
        const std::string item = list.substr(at, comma - at);
        char *end = nullptr;
        const long value = item.empty() ? -1 : std::strtol(item.c_str(), &end, 0);
        if (item.empty() || *end != '\0' || value < 0 || value > 127)
            return false;
        pec[static_cast<size_t>(value)] = true;
        at = comma + 1;
    }
    return true;
}

} // namespace

std::string decodeUsage()
{
    return "usage: korvex-decode [--sda=N --scl=N | --pair=K] [--assume-idle] [--format=F]\n"
           "                     [--mode=M] [--pec=ADDR,...] [--output=FILE] CAPTURE\n"
           "Decodes the I2C bus in a recorded logic capture (sigrok session file).\n"
           "  --sda=N, --scl=N  SDA and SCL channel: a channel number or a channel name\n"
           "  --pair=K          channel pair 0..3: SDA = D(2K), SCL = D(2K+1)\n"
           "                    (default: the channels named SDA and SCL, else pair 0)\n"
           "  --assume-idle     take the bus as idle (both lines high) before the first sample\n"
           "  --format=F        output format (default events):\n" +
           eventFormatHelp() +
           "  --mode=M          with --format=health: judge timing by sm, fm, fmplus or\n"
           "                    smbus (default: the mode the SCL clock points to)\n"
           "  --pec=ADDR,...    with --format=health: transfers to these 7-bit addresses\n"
           "                    (0x50 or 80) end with an SMBus PEC byte to check\n"
           "  --device=ADDR=ID  decode the 7-bit address ADDR (hex) with the device profile\n"
           "                    ID (repeatable; ID empty: not at all); otherwise an address\n"
           "                    is decoded by the one profile that claims it, if only one does\n"
           "  --profiles=DIR    add the device profiles in DIR to the shipped ones\n"
           "  --output=FILE     write to FILE instead of standard output; --format alone\n"
           "                    decides the format, whatever FILE is called; FILE is\n"
           "                    replaced only once it is complete, never by the capture\n"
           "Exit status: 0 written, 1 the capture could not be read or the output not\n"
           "written (the message says why), 2 a malformed command line.\n";
}

bool parseDecodeOptions(int argc, const char *const *argv, DecodeOptions &options,
                        std::string *error)
{
    auto fail = [error](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    bool pairGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        std::string value;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--assume-idle") == 0) {
            options.assumeIdle = true;
        } else if (takeValue(arg, "--sda", value)) {
            if (value.empty())
                return fail("--sda needs a channel");
            options.sda = value;
        } else if (takeValue(arg, "--scl", value)) {
            if (value.empty())
                return fail("--scl needs a channel");
            options.scl = value;
        } else if (takeValue(arg, "--pair", value)) {
            if (value.size() != 1 || value[0] < '0' || value[0] > '3')
                return fail("--pair takes 0, 1, 2 or 3, not '" + value + "'");
            options.pair = value[0] - '0';
            pairGiven = true;
        } else if (takeValue(arg, "--format", value)) {
            if (!isEventFormat(value))
                return fail("unknown format '" + value + "'");
            options.format = value;
        } else if (takeValue(arg, "--mode", value)) {
            options.mode = modeCode(value);
            if (options.mode == KORVEX_HEALTH_MODE_AUTO)
                return fail("--mode takes sm, fm, fmplus or smbus, not '" + value + "'");
            options.healthOptions = true;
        } else if (takeValue(arg, "--pec", value)) {
            if (!parsePec(value, options.pec))
                return fail("--pec takes 7-bit addresses separated by commas, not '" + value + "'");
            options.healthOptions = true;
        } else if (takeValue(arg, "--device", value)) {
            const size_t eq = value.find('=');
            char *end = nullptr;
            const unsigned long address =
                eq == std::string::npos ? 0x80 : std::strtoul(value.c_str(), &end, 16);
            if (eq == 0 || eq == std::string::npos || end != value.c_str() + eq || address > 0x7F)
                return fail("--device takes ADDR=ID with a 7-bit address in hex, not '" + value +
                            "'");
            options.devices.emplace_back(uint8_t(address), value.substr(eq + 1));
        } else if (takeValue(arg, "--profiles", value)) {
            if (value.empty())
                return fail("--profiles needs a folder");
            options.profileDirs.push_back(value);
        } else if (takeValue(arg, "--output", value)) {
            if (value.empty())
                return fail("--output needs a file name");
            options.output = value;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return fail(std::string("unknown option '") + arg + "'");
        } else if (!options.capture.empty()) {
            return fail("only one capture file, please");
        } else {
            options.capture = arg;
        }
    }
    if (options.help)
        return true;
    if (options.sda.empty() != options.scl.empty())
        return fail("--sda and --scl go together");
    if (pairGiven && !options.sda.empty())
        return fail("--pair and --sda/--scl exclude each other");
    if (options.healthOptions && options.format != "health")
        return fail("--mode and --pec go with --format=health");
    if (options.capture.empty())
        return fail("no capture file given");
    return true;
}

} // namespace korvex
