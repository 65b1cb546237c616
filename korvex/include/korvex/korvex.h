/*
 * KORVEX adapter library: the C interface the sniffer captures through.
 *
 * Four operations find, open, start and stop an adapter; a capture delivers
 * decoded I2C bus events through I2CCaptureCallback.
 *
 * Callback contract:
 *  - it runs on a thread owned by the library, never on the caller's thread;
 *  - calls are serialised: one call at a time, from a successful
 *    startI2CCapture until stopI2CCapture returns (stop joins that thread, so
 *    no callback runs after it returns);
 *  - the event records are valid only during the call;
 *  - the callback's return value is ignored.
 *
 * Every function checks its arguments, logs what was wrong to stderr and
 * returns a failure value; no C++ exception crosses this interface. The
 * reason of the last failure on the calling thread is kept for the caller
 * (lastAdapterError), so that it can show the user why.
 *
 * Adapters are listed in a fixed order: index 0 is the built-in bus
 * simulator, then one adapter per recorded capture named in KORVEX_REPLAY,
 * then the logic analyzers that libsigrok finds. The environment variables
 * that shape the list are described in docs/adapters.md (and the README).
 * A scan while a capture runs leaves the list as it is.
 */
#ifndef KORVEX_KORVEX_H
#define KORVEX_KORVEX_H

#include <stdint.h>

#if defined(_WIN32)
#define KORVEX_API __declspec(dllexport)
#else
#define KORVEX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Event type codes of I2CEvent.type. */
enum {
    KORVEX_EVENT_START = 1, /* START or repeated START */
    KORVEX_EVENT_ADDR = 2,  /* first byte after a START: 7-bit address << 1 | R/W */
    KORVEX_EVENT_DATA = 3,  /* any further byte */
    KORVEX_EVENT_STOP = 4,
    KORVEX_EVENT_NACK = 5, /* ninth bit high */
    KORVEX_EVENT_ACK = 6   /* ninth bit low */
};

/* One bus event: 16 bytes, little-endian, offsets 0 / 4 / 8. */
typedef struct I2CEvent
{
    int32_t type;        /* one of KORVEX_EVENT_* */
    uint8_t data;        /* the byte for ADDR and DATA, otherwise 0 */
    uint8_t reserved[3]; /* always 0 */
    int64_t timestamp;   /* nanoseconds since the first sample of the capture */
} I2CEvent;

/* adapterIndex: the capturing adapter; batchNumber: counts the calls of one capture from 0
 * (wraps). Both may be ignored. */
typedef int32_t (*I2CCaptureCallback)(int32_t adapterIndex, int32_t batchNumber,
                                      const I2CEvent *events, int32_t count);

/* Number of adapters the library offers; reserved must be null. */
KORVEX_API int32_t scanAdapters(void *reserved);

/* Non-zero when adapter `index` could be opened (opening twice is fine). */
KORVEX_API uint8_t openAdapter(int32_t index);

/*
 * Starts capturing on an opened adapter. channelPair 0..3 selects
 * SDA = D(2k), SCL = D(2k+1); sampleRate is in Hz (a replay plays at its
 * file's own rate). Returns 0 when started; otherwise, after logging why:
 *   1  the index is out of range;
 *   2  the adapter is already capturing (or this is a call from its own callback);
 *   3  the adapter is not open;
 *   4  the callback is null;
 *   5  the channel pair is not 0..3;
 *   6  the sample rate is not positive;
 *   7  the adapter cannot take this request (a rate it cannot sample at, a
 *      file it cannot replay, channels it lacks, a device that refuses);
 *   8  the capture thread could not be created;
 *   9  the capture failed before it began (e.g. the device would not start);
 *  -1  an unexpected internal error.
 */
KORVEX_API int32_t startI2CCapture(int32_t index, int32_t channelPair, int32_t sampleRate,
                                   I2CCaptureCallback callback);

/* Stops a running capture and joins its thread. Returns 0; stopping an idle adapter is harmless. */
KORVEX_API int32_t stopI2CCapture(int32_t index);

/*
 * Writes a one-line, human-readable description of adapter `index` into buf
 * (NUL-terminated, cut to size). Returns the full length of the text, or -1
 * for an index out of range.
 */
KORVEX_API int32_t describeAdapter(int32_t index, char *buf, int32_t size);

/* What captureState returns. */
enum {
    KORVEX_CAPTURE_IDLE = 0,     /* no capture runs on the adapter */
    KORVEX_CAPTURE_RUNNING = 1,  /* the capture runs and its source delivers */
    KORVEX_CAPTURE_FINISHED = 2, /* the source ended by itself (a replay reached its end);
                                    the capture stays quiet until stopI2CCapture */
    KORVEX_CAPTURE_FAILED = 3    /* an error ended the source (a device that stopped, a
                                    file found damaged while replaying); quiet until stop */
};

/*
 * How the capture on adapter `index` stands: one of KORVEX_CAPTURE_*, or -1
 * for an index out of range. For FINISHED and FAILED the reason is written
 * into buf (NUL-terminated, cut to size; "" otherwise). Safe to poll from the
 * caller's thread while the capture runs.
 */
KORVEX_API int32_t captureState(int32_t index, char *buf, int32_t size);

/*
 * Writes the reason of the last failed call made on the calling thread (the
 * same text the library logs, without the "korvex: " prefix, e.g.
 * "cannot replay /a.sr: No such file or directory") into buf, NUL-terminated
 * and cut to size; "" when that call succeeded. Every other function of this
 * interface replaces it. Returns the full length of the text.
 */
KORVEX_API int32_t lastAdapterError(char *buf, int32_t size);

#ifdef __cplusplus
}
#endif

#endif /* KORVEX_KORVEX_H */
