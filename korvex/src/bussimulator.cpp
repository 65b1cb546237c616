#include "bussimulator.h"

#include <algorithm>

namespace korvex {

namespace {

__extension__ typedef unsigned __int128 Uint128;

// Standard-mode timing (ns): 100 kHz SCL, 5 us low and 5 us high; data
// changes 1 us after SCL falls.
constexpr uint64_t kLowNs = 5000;
constexpr uint64_t kHighNs = 5000;
constexpr uint64_t kDataHoldNs = 1000;
constexpr uint64_t kStartHoldNs = 4000;  // tHD;STA
constexpr uint64_t kStartSetupNs = 4700; // tSU;STA, before a repeated START
constexpr uint64_t kStopSetupNs = 4000;  // tSU;STO
constexpr uint64_t kBusFreeNs = 4700;    // tBUF
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

BusSimulator::BusSimulator(uint64_t sampleRate, unsigned channelPair, uint64_t seed)
    : m_rate(sampleRate), m_sdaBit(2 * channelPair), m_sclBit(2 * channelPair + 1), m_state(seed)
{
    m_eeprom.fill(0xFF); // erased
    idle(100000);        // a little idle bus before the first transfer
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
    hold(kStartHoldNs);
    scl(false);
}

void BusSimulator::repeatedStart()
{
    hold(kDataHoldNs);
    sda(true);
    hold(kLowNs - kDataHoldNs);
    scl(true);
    hold(kStartSetupNs);
    sda(false);
    hold(kStartHoldNs);
    scl(false);
}

void BusSimulator::stop()
{
    hold(kDataHoldNs);
    sda(false);
    hold(kLowNs - kDataHoldNs);
    scl(true);
    hold(kStopSetupNs);
    sda(true);
    hold(kBusFreeNs);
}

void BusSimulator::bit(bool level, uint64_t stretchNs)
{
    hold(kDataHoldNs);
    sda(level);
    hold(kLowNs - kDataHoldNs + stretchNs); // a device stretching the clock holds SCL low
    scl(true);
    hold(kHighNs);
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

} // namespace korvex
