#include "bussimulator.h"

#include <korvex/korvexhealth.h>

#include <algorithm>

namespace korvex {

namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr uint64_t kMs = 1000000;

constexpr uint8_t kEeprom = 0x50, kSensor = 0x40, kRtc = 0x68, kAbsent = 0x3C;

uint8_t crc8(const uint8_t *data, size_t n)
{
    uint8_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x31 : crc << 1);
    }
    return crc;
}

uint8_t bcd(unsigned value)
{
    return static_cast<uint8_t>(((value / 10) << 4) | (value % 10));
}

} // namespace

BusSimulator::BusSimulator(uint64_t sampleRate, unsigned channelPair, uint64_t seed,
                           const SimulatorTiming &timing, const SimulatorFaults &faults)
    : m_rate(sampleRate), m_sdaBit(2 * channelPair), m_sclBit(2 * channelPair + 1), m_state(seed),
      m_timing(timing), m_faults(faults), m_faultState(seed ^ 0x5EEDFA17u)
{
    m_eeprom.fill(0xFF); // erased
    if (m_faults.kinds & (1u << KORVEX_HEALTH_DATA_BEFORE_START)) {
        // The capture begins in the middle of a byte: a few bits, then a STOP.
        scl(false);
        partialByte(0xA5, 5);
        stop();
    }
    idle(100000); // a little idle bus before the first transfer
}

uint64_t BusSimulator::faultRandom()
{
    uint64_t z = (m_faultState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t BusSimulator::random()
{
    // splitmix64: the same numbers on every platform, unlike <random>'s distributions.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void BusSimulator::generate(size_t samples, std::vector<uint8_t> &out)
{
    out.reserve(out.size() + samples);
    while (samples > 0) {
        while (m_runs.empty() || m_runs.front().end <= m_cursor) {
            if (m_runs.empty())
                nextTransfer();
            else
                m_runs.pop_front();
        }
        const Run &run = m_runs.front();
        const size_t take = static_cast<size_t>(std::min<uint64_t>(samples, run.end - m_cursor));
        out.insert(out.end(), take, run.sample);
        m_cursor += take;
        samples -= take;
    }
}

void BusSimulator::hold(uint64_t ns)
{
    m_timeNs += ns;
    // Sample s is taken at s / rate seconds: the run ends before the first
    // sample at or after the new time.
    const uint64_t end =
        static_cast<uint64_t>((static_cast<Uint128>(m_timeNs) * m_rate + 999999999u) / 1000000000u);
    if (end <= m_queuedEnd)
        return; // shorter than a sample: never seen
    const uint8_t sample =
        static_cast<uint8_t>((unsigned(m_sda) << m_sdaBit) | (unsigned(m_scl) << m_sclBit));
    if (!m_runs.empty() && m_runs.back().sample == sample)
        m_runs.back().end = end;
    else
        m_runs.push_back({sample, end});
    m_queuedEnd = end;
}

void BusSimulator::lines(bool sda, bool scl)
{
    m_sda = sda;
    m_scl = scl;
}

void BusSimulator::start()
{
    sda(false);
    hold(m_timing.hdStaNs);
    scl(false);
}

void BusSimulator::repeatedStart()
{
    hold(m_timing.hdDatNs);
    sda(true);
    hold(m_timing.lowNs - m_timing.hdDatNs);
    scl(true);
    hold(m_timing.suStaNs);
    sda(false);
    hold(m_timing.hdStaNs);
    scl(false);
}

void BusSimulator::stop()
{
    hold(m_timing.hdDatNs);
    sda(false);
    hold(m_timing.lowNs - m_timing.hdDatNs);
    scl(true);
    hold(m_timing.suStoNs);
    sda(true);
    hold(m_timing.bufNs);
}

void BusSimulator::bit(bool level, uint64_t stretchNs)
{
    hold(m_timing.hdDatNs);
    sda(level);
    hold(m_timing.lowNs - m_timing.hdDatNs +
         stretchNs); // a device stretching the clock holds SCL low
    scl(true);
    hold(m_timing.highNs);
    scl(false);
}

bool BusSimulator::writeByte(uint8_t value, bool acknowledged)
{
    for (int i = 7; i >= 0; --i)
        bit((value >> i) & 1);
    bit(!acknowledged);
    return acknowledged;
}

uint8_t BusSimulator::readByte(uint8_t value, bool masterAcks, uint64_t stretchNs)
{
    for (int i = 7; i >= 0; --i)
        bit((value >> i) & 1, i == 7 ? stretchNs : 0);
    bit(!masterAcks);
    return value;
}

void BusSimulator::idle(uint64_t ns)
{
    lines(true, true);
    hold(ns);
}

void BusSimulator::nextTransfer()
{
    enum Kind { Sensor, Rtc, EepromWrite, EepromRead, Absent };
    static const Kind kRound[] = {Sensor,     Rtc,    EepromWrite, Sensor,
                                  EepromRead, Absent, Sensor,      Rtc};
    const Kind kind = kRound[m_round++ % (sizeof kRound / sizeof kRound[0])];
    switch (kind) {
    case Sensor:
        sensorRead();
        break;
    case Rtc:
        rtcRead();
        break;
    case EepromWrite:
        eepromWrite();
        break;
    case EepromRead:
        eepromRead();
        break;
    case Absent:
        absentProbe();
        break;
    }
    idle(2 * kMs + randomBelow(10 * kMs));
    if (m_faults.kinds)
        nextFault();
}

void BusSimulator::eepromWrite()
{
    const uint8_t page = static_cast<uint8_t>(randomBelow(32) * 8);
    const unsigned length = 1 + static_cast<unsigned>(randomBelow(8));
    start();
    writeByte(kEeprom << 1, true);
    writeByte(page, true);
    for (unsigned i = 0; i < length; ++i) {
        const uint8_t value = static_cast<uint8_t>(random());
        m_eeprom[page + i] = value;
        writeByte(value, true);
    }
    stop();
    m_lastPage = page;
    m_lastLength = static_cast<uint8_t>(length);
    // The write cycle takes 5 ms, during which the EEPROM ignores its address.
    m_eepromBusyUntilNs = m_timeNs + 5 * kMs;
    bool ready = false;
    while (!ready) {
        idle(kMs);
        start();
        ready = writeByte(kEeprom << 1, m_timeNs >= m_eepromBusyUntilNs);
        stop();
    }
}

void BusSimulator::eepromRead()
{
    const unsigned length =
        std::min<unsigned>(256u - m_lastPage, m_lastLength + unsigned(randomBelow(9)));
    start();
    writeByte(kEeprom << 1, true);
    writeByte(m_lastPage, true);
    repeatedStart();
    writeByte(kEeprom << 1 | 1, true);
    for (unsigned i = 0; i < length; ++i)
        readByte(m_eeprom[m_lastPage + i], i + 1 < length);
    stop();
}

void BusSimulator::sensorRead()
{
    const bool humidity = randomBelow(2) == 0;
    uint16_t &value = humidity ? m_humidity : m_temperature;
    value = static_cast<uint16_t>(value + randomBelow(129) - 64);
    // Two status bits: bit 1 tells a humidity reading.
    const uint16_t reading = static_cast<uint16_t>((value & 0xFFFC) | (humidity ? 2 : 0));
    const uint8_t bytes[2] = {static_cast<uint8_t>(reading >> 8), static_cast<uint8_t>(reading)};
    start();
    writeByte(kSensor << 1, true);
    writeByte(humidity ? 0xE5 : 0xE3, true); // measure, holding the master
    repeatedStart();
    writeByte(kSensor << 1 | 1, true);
    // The sensor stretches the clock while it measures.
    readByte(bytes[0], true, 200000 + randomBelow(800000));
    readByte(bytes[1], true);
    readByte(crc8(bytes, 2), false);
    stop();
}

void BusSimulator::rtcRead()
{
    // The clock started on Wednesday 2025-01-01 08:30:00 when the bus did.
    const uint64_t seconds = 8 * 3600 + 30 * 60 + m_timeNs / 1000000000u;
    const unsigned days = static_cast<unsigned>(seconds / 86400);
    const uint8_t registers[7] = {
        bcd(seconds % 60),
        bcd((seconds / 60) % 60),
        bcd((seconds / 3600) % 24),
        static_cast<uint8_t>(1 + (days + 2) % 7),
        bcd(1 + days % 31),
        bcd(1),
        bcd(25),
    };
    start();
    writeByte(kRtc << 1, true);
    writeByte(0x00, true);
    repeatedStart();
    writeByte(kRtc << 1 | 1, true);
    for (unsigned i = 0; i < 7; ++i)
        readByte(registers[i], i + 1 < 7);
    stop();
}

void BusSimulator::absentProbe()
{
    start();
    writeByte(kAbsent << 1, false);
    stop();
}

// --- Injected faults ------------------------------------------------------

void BusSimulator::nextFault()
{
    for (unsigned tried = 0; tried < 32; ++tried) {
        const unsigned kind = m_nextFault++ % 32;
        if (m_faults.kinds & (1u << kind)) {
            injectFault(static_cast<int32_t>(kind));
            idle(2 * kMs);
            return;
        }
    }
}

// `bits` bits of value, MSB first, ending with SCL low.
void BusSimulator::partialByte(uint8_t value, unsigned bits)
{
    for (unsigned i = 0; i < bits; ++i)
        bit((value >> (7 - i)) & 1);
}

// A pulse of spikeNs (at least one sample): on the idle bus an SDA dip that
// reads as a START and a STOP, or an SCL high pulse and dip that read as bits.
void BusSimulator::spike(bool sclLine)
{
    const uint64_t width = std::max(m_faults.spikeNs, sampleNs());
    if (!sclLine) {
        sda(false);
        hold(width);
        sda(true);
        hold(m_timing.bufNs);
        return;
    }
    // The address's last bit: SCL rises (the address is complete), falls for
    // `width` at once and rises again, which reads as the acknowledge.
    start();
    partialByte(kFaultDevice << 1, 7);
    hold(m_timing.hdDatNs);
    sda(false);
    hold(m_timing.lowNs - m_timing.hdDatNs);
    scl(true);
    hold(width);
    scl(false);
    hold(width);
    scl(true);
    hold(m_timing.highNs);
    scl(false);
    stop();
}

void BusSimulator::injectFault(int32_t kind)
{
    const uint8_t address = kFaultDevice << 1;
    const uint8_t payload = static_cast<uint8_t>(faultRandom());
    const unsigned cut =
        m_faults.cutAfter ? std::min(m_faults.cutAfter, 8u) : 1 + unsigned(faultRandom() % 8);
    const SimulatorTiming saved = m_timing;
    switch (kind) {
    case KORVEX_HEALTH_START_IN_BYTE:
        start();
        writeByte(address, true);
        partialByte(payload, cut);
        repeatedStart();
        writeByte(address, true);
        writeByte(payload, true);
        stop();
        break;
    case KORVEX_HEALTH_STOP_IN_BYTE:
        start();
        writeByte(address, true);
        partialByte(payload, cut);
        stop();
        break;
    case KORVEX_HEALTH_MISSING_STOP:
        start();
        writeByte(address, true);
        writeByte(payload, true);
        // Both lines released for 2 ms, then a repeated START instead of STOP, START.
        hold(m_timing.hdDatNs);
        sda(true);
        hold(m_timing.lowNs - m_timing.hdDatNs);
        scl(true);
        hold(2 * kMs);
        sda(false);
        hold(m_timing.hdStaNs);
        scl(false);
        writeByte(address | 1, true);
        readByte(payload, false);
        stop();
        break;
    case KORVEX_HEALTH_EMPTY_TRANSACTION:
        start();
        stop();
        break;
    case KORVEX_HEALTH_LAST_READ_ACKED:
        start();
        writeByte(address | 1, true);
        readByte(payload, true);
        readByte(static_cast<uint8_t>(payload & 0x7F), true); // MSB 0: the STOP still works
        stop();
        break;
    case KORVEX_HEALTH_GENERAL_CALL:
        start();
        writeByte(0x00, true);
        writeByte(0x06, true); // reset and write the programmable part of the address
        stop();
        break;
    case KORVEX_HEALTH_START_BYTE:
        start();
        writeByte(0x01, false); // no device acknowledges it
        repeatedStart();
        writeByte(address, true);
        stop();
        break;
    case KORVEX_HEALTH_HS_MASTER_CODE:
        start();
        writeByte(static_cast<uint8_t>(0x08 | (payload & 7)), false);
        repeatedStart();
        writeByte(address, true);
        writeByte(payload, true);
        stop();
        break;
    case KORVEX_HEALTH_TEN_BIT_ADDRESS: {
        const unsigned tenBit = 0x200 | (payload & 0xFF) | ((faultRandom() & 1) << 8);
        start();
        writeByte(static_cast<uint8_t>(0xF0 | ((tenBit >> 8) << 1)), true);
        writeByte(static_cast<uint8_t>(tenBit), true);
        writeByte(payload, true);
        repeatedStart(); // and read back: the high bits and R/W name it again
        writeByte(static_cast<uint8_t>(0xF1 | ((tenBit >> 8) << 1)), true);
        readByte(payload, false);
        stop();
        break;
    }
    case KORVEX_HEALTH_SPIKE:
        spike(faultRandom() & 1);
        break;
    case KORVEX_HEALTH_SAME_SAMPLE_EDGE:
        m_timing.hdDatNs = 0; // data changes with the SCL fall
        start();
        writeByte(address, true);
        writeByte(static_cast<uint8_t>(payload | 0x55), true);
        stop();
        break;
    case KORVEX_HEALTH_T_LOW:
    case KORVEX_HEALTH_T_HIGH:
    case KORVEX_HEALTH_T_SU_STA:
    case KORVEX_HEALTH_T_HD_STA:
    case KORVEX_HEALTH_T_SU_DAT:
    case KORVEX_HEALTH_T_HD_DAT:
    case KORVEX_HEALTH_T_SU_STO:
    case KORVEX_HEALTH_T_BUF:
    case KORVEX_HEALTH_F_SCL: {
        // One parameter at half its Standard-mode limit; SCL keeps to 100 kHz
        // where the parameter allows.
        SimulatorTiming &t = m_timing;
        if (kind == KORVEX_HEALTH_T_LOW)
            t.lowNs = 2350;
        else if (kind == KORVEX_HEALTH_T_HIGH)
            t.highNs = 2000;
        else if (kind == KORVEX_HEALTH_T_SU_STA)
            t.suStaNs = 2350;
        else if (kind == KORVEX_HEALTH_T_HD_STA)
            t.hdStaNs = 2000;
        else if (kind == KORVEX_HEALTH_T_SU_DAT)
            t.hdDatNs = t.lowNs - 100;
        else if (kind == KORVEX_HEALTH_T_HD_DAT)
            t.hdDatNs = std::max<uint64_t>(sampleNs(), 100); // below SMBus's 300 ns
        else if (kind == KORVEX_HEALTH_T_SU_STO)
            t.suStoNs = 2000;
        else if (kind == KORVEX_HEALTH_F_SCL)
            t.lowNs = t.highNs = 4500; // 111 kHz
        if (kind == KORVEX_HEALTH_T_BUF) {
            // Two transfers tBUF apart: half the limit unless a tBUF was set.
            if (t.bufNs == SimulatorTiming().bufNs)
                t.bufNs = 2350;
            start();
            writeByte(address, true);
            stop();
            start();
            writeByte(address, true);
            stop();
            break;
        }
        start();
        writeByte(address, true);
        writeByte(payload, true);
        repeatedStart();
        writeByte(address | 1, true);
        readByte(payload, false);
        stop();
        break;
    }
    case KORVEX_HEALTH_STRETCH:
    case KORVEX_HEALTH_SMBUS_TIMEOUT:
        start();
        writeByte(address | 1, true);
        readByte(payload, false,
                 m_faults.stretchNs              ? m_faults.stretchNs
                 : kind == KORVEX_HEALTH_STRETCH ? 2 * kMs
                                                 : 30 * kMs);
        stop();
        break;
    case KORVEX_HEALTH_PEC: {
        // Command, two data bytes and the PEC over all of them and the
        // address; every other one is wrong.
        const uint8_t bytes[4] = {static_cast<uint8_t>(kPecDevice << 1), 0x10, payload,
                                  static_cast<uint8_t>(faultRandom())};
        uint8_t pec = 0;
        for (uint8_t b : bytes) {
            pec ^= b;
            for (int i = 0; i < 8; ++i)
                pec = static_cast<uint8_t>((pec & 0x80) ? (pec << 1) ^ 0x07 : pec << 1);
        }
        if (faultRandom() & 1)
            pec ^= 0x01;
        start();
        for (uint8_t b : bytes)
            writeByte(b, true);
        writeByte(pec, true);
        stop();
        break;
    }
    case KORVEX_HEALTH_STUCK_LOW:
        scl(false); // a device holds SCL low on the idle bus
        hold(m_faults.stretchNs ? m_faults.stretchNs : 30 * kMs);
        scl(true);
        hold(m_timing.bufNs);
        break;
    case KORVEX_HEALTH_BUS_CLEAR:
        // Nine clocks with SDA released, then a STOP.
        for (int i = 0; i < 9; ++i) {
            scl(false);
            hold(m_timing.lowNs);
            scl(true);
            hold(m_timing.highNs);
        }
        start();
        writeByte(address, true);
        stop();
        break;
    default:
        break;
    }
    m_timing = saved;
}

} // namespace korvex
