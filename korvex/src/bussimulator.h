// A synthetic I2C bus at 100 kHz, as logic samples: one byte per sample, SDA
// on D(2k) and SCL on D(2k+1) of channel pair k, all other channels low.
//
// A master polls a few devices in a fixed round with pseudo-random gaps and
// payloads drawn from the seed, so equal seeds give equal samples:
//   0x50 EEPROM (256 bytes, 8-byte pages): page writes, acknowledge polling
//        during the write cycle (NACKs), sequential reads of what was written;
//   0x40 humidity/temperature sensor: command, repeated START, read with
//        clock stretching while it measures, CRC byte;
//   0x68 RTC: register pointer, repeated START, seven BCD time registers;
//   0x3C an absent device: its address is not acknowledged.
//
// Faults can be injected for bus-health work: after each of those transfers
// one extra transfer to 0x2A (0x2B for PEC) carries the next fault of the
// chosen kinds, in turn; their details (bit positions, lines, payloads) come
// from a generator of their own, so the ordinary traffic stays as without
// faults. The master's timing can be set too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace korvex {

// The master's timing in ns; the defaults are Standard mode with margins.
struct SimulatorTiming
{
    uint64_t lowNs = 5000;   // tLOW
    uint64_t highNs = 5000;  // tHIGH
    uint64_t hdDatNs = 1000; // data changes this long after SCL falls (tLOW - tHD;DAT = tSU;DAT)
    uint64_t hdStaNs = 4000; // tHD;STA
    uint64_t suStaNs = 4700; // tSU;STA, before a repeated START
    uint64_t suStoNs = 4000; // tSU;STO
    uint64_t bufNs = 4700;   // tBUF
};

struct SimulatorFaults
{
    uint32_t kinds = 0;     // bit n: inject faults of bus-health kind n (KORVEX_HEALTH_*)
    uint64_t spikeNs = 0;   // width of an injected spike; 0: one sample
    unsigned cutAfter = 0;  // bits before a START or STOP inside a byte; 0: 1..8 from the seed
    uint64_t stretchNs = 0; // an injected stretch; 0: 2 ms (30 ms for smbus-timeout)
};

class BusSimulator
{
public:
    static constexpr uint64_t kMinSampleRate = 1000000;   // 1 MHz
    static constexpr uint64_t kMaxSampleRate = 100000000; // 100 MHz
    static constexpr uint64_t kDefaultSeed = 1;

    static bool supportsRate(uint64_t rate)
    {
        return rate >= kMinSampleRate && rate <= kMaxSampleRate;
    }

    // rate must be supported and channelPair 0..3.
    BusSimulator(uint64_t sampleRate, unsigned channelPair, uint64_t seed,
                 const SimulatorTiming &timing = SimulatorTiming(),
                 const SimulatorFaults &faults = SimulatorFaults());

    static constexpr uint8_t kFaultDevice = 0x2A, kPecDevice = 0x2B;

    // Appends exactly `samples` samples to `out`. The bus idles (both lines
    // high) before the first transfer.
    void generate(size_t samples, std::vector<uint8_t> &out);

    uint64_t samplesGenerated() const { return m_cursor; }

private:
    struct Run
    {
        uint8_t sample; // the sample byte of the run
        uint64_t end;   // first sample after the run
    };

    uint64_t random();
    uint64_t randomBelow(uint64_t bound) { return random() % bound; }
    uint64_t faultRandom();

    // Waveform: the lines keep their levels for `ns`, then may change.
    void hold(uint64_t ns);
    void lines(bool sda, bool scl);
    void sda(bool level) { lines(level, m_scl); }
    void scl(bool level) { lines(m_sda, level); }

    // Bus primitives; between them SCL is low, except around START and STOP.
    void start();
    void repeatedStart();
    void stop();
    void bit(bool level, uint64_t stretchNs = 0);
    // Eight bits, then the ninth driven by the other side; true for ACK.
    bool writeByte(uint8_t value, bool acknowledged);
    uint8_t readByte(uint8_t value, bool masterAcks, uint64_t stretchNs = 0);
    void idle(uint64_t ns);

    // Transfers.
    void nextTransfer();
    void eepromWrite();
    void eepromRead();
    void sensorRead();
    void rtcRead();
    void absentProbe();
    void nextFault();
    void injectFault(int32_t kind);
    void partialByte(uint8_t value, unsigned bits);
    void spike(bool sclLine);
    uint64_t sampleNs() const { return (1000000000u + m_rate - 1) / m_rate; }

    const uint64_t m_rate;
    const unsigned m_sdaBit, m_sclBit;
    uint64_t m_state; // pseudo-random generator
    SimulatorTiming m_timing;
    const SimulatorFaults m_faults;
    uint64_t m_faultState; // the faults' own generator
    unsigned m_nextFault = 0;

    std::deque<Run> m_runs; // queued waveform, in order
    uint64_t m_cursor = 0;  // next sample to hand out
    uint64_t m_timeNs = 0;  // end of the queued waveform
    uint64_t m_queuedEnd = 0;
    bool m_sda = true, m_scl = true;

    unsigned m_round = 0;
    std::array<uint8_t, 256> m_eeprom{};
    uint64_t m_eepromBusyUntilNs = 0;
    uint8_t m_lastPage = 0;
    uint8_t m_lastLength = 1;
    uint16_t m_humidity = 0x6000, m_temperature = 0x6500;
};

} // namespace korvex
