// Decoding of whole capture files, shared by the replay adapter, the
// command-line tool and the tests.
#pragma once

#include "capturefile.h"
#include "healthchecker.h"
#include "i2cdecoder.h"

#include <functional>
#include <string>
#include <vector>

namespace korvex {

// The SDA and SCL channels of a capture: the channels named SDA and SCL when
// it has both, otherwise those of channel pair `pair` (SDA = D(2k),
// SCL = D(2k+1)). False, with the reason, when the pair's channels are not in
// the file.
bool chooseI2CChannels(const CaptureFile &file, int pair, unsigned &sda, unsigned &scl,
                       std::string *error);

// True when the file has a logic channel with bit `index`.
bool hasLogicChannel(const CaptureFile &file, unsigned index);

// Reads every block of an opened file, configuring `decoder` with `config`
// and the file's unit size before the first block reaches `deliver`. A
// configuration that fails stops the reading with its reason in *configError.
bool readConfigured(CaptureFile &file, I2CDecoder &decoder, I2CDecoderConfig config,
                    const std::function<bool(const uint8_t *, size_t)> &deliver,
                    std::string *configError, std::string *readError);

// Takes decoded events in order with each event's sample position; false
// stops the decoding early (which is not an error of the decoding).
using EventBatchSink =
    std::function<bool(const I2CEvent *events, const uint64_t *samples, size_t count)>;

// Verifies an opened file and decodes every sample with `config`, whose unit
// size and sample rate are taken from the file, handing the events to `take`
// a slice of kDecodeSliceBytes of samples at a time: memory stays the same
// whatever the capture's length. False, with the reason, for a damaged file
// (found possibly after some events were taken).
constexpr size_t kDecodeSliceBytes = 1 << 16;
bool decodeCaptureStream(CaptureFile &file, I2CDecoderConfig config, const EventBatchSink &take,
                         uint64_t *sampleCount, std::string *error);

// Takes findings in order; false stops the decoding early, as for events.
using FindingBatchSink = std::function<bool(const KorvexFinding *findings, size_t count)>;

// The same with bus health: `config.sampleRate` is taken from the file. Each
// finding reaches `findings` before its event reaches `take` (events wait
// while a finding about them may still come); *mode gets the mode judged by.
bool decodeCaptureHealth(CaptureFile &file, I2CDecoderConfig config, HealthConfig health,
                         const EventBatchSink &take, const FindingBatchSink &findings,
                         int32_t *mode, std::string *error);

// The same, appending every event to events (and samples): for captures known
// to be small (tests, fuzzing).
bool decodeCapture(CaptureFile &file, I2CDecoderConfig config, std::vector<I2CEvent> &events,
                   std::vector<uint64_t> *samples, uint64_t *sampleCount, std::string *error);

} // namespace korvex
