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
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace korvex {

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
    BusSimulator(uint64_t sampleRate, unsigned channelPair, uint64_t seed);

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

    const uint64_t m_rate;
    const unsigned m_sdaBit, m_sclBit;
    uint64_t m_state; // pseudo-random generator

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
