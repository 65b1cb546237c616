/*
 * KORVEX adapter library: bus health, an opt-in addition to korvex.h.
 *
 * While a capture runs, the library can check the same edges its decoder
 * sees against the I2C-bus and SMBus limits, and report each thing wrong with
 * the bus as a KorvexFinding: its kind, a severity, where it happened, the
 * measured value, the limit, and the resolution the sample rate allows. The
 * four operations, I2CCaptureCallback and I2CEvent of korvex.h are unchanged;
 * a caller that never calls enableBusHealth sees exactly what it saw before.
 *
 * Findings callback contract:
 *  - it runs on the capture thread, serialised with the events callback
 *    (never two calls at once, from either callback);
 *  - each finding is delivered BEFORE the events callback that delivers the
 *    event it names (KorvexFinding.eventIndex); findings that name no event
 *    yet delivered at the capture's end arrive before stopI2CCapture returns;
 *  - events may therefore be held back for a few bus clocks while a finding
 *    about them is still open; their order and content stay as without health;
 *  - the finding records are valid only during the call; userData is passed
 *    back as given.
 *
 * The glitch filter (KorvexHealthOptions.glitchFilterNs > 0) is the only
 * option that changes the delivered events: it drops pulses shorter than the
 * width given before decoding and reports each as a "spike" finding.
 */
#ifndef KORVEX_KORVEXHEALTH_H
#define KORVEX_KORVEXHEALTH_H

#include <korvex/korvex.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Kinds of finding (KorvexFinding.kind); korvexHealthKindName gives the text identifier. */
enum {
    /* Protocol */
    KORVEX_HEALTH_START_IN_BYTE = 1,     /* "start-in-byte": START cuts a byte or its ACK slot */
    KORVEX_HEALTH_STOP_IN_BYTE = 2,      /* "stop-in-byte" */
    KORVEX_HEALTH_MISSING_STOP = 3,      /* "missing-stop": repeated START after a long idle */
    KORVEX_HEALTH_DATA_BEFORE_START = 4, /* "data-before-start": capture began mid-transfer */
    KORVEX_HEALTH_EMPTY_TRANSACTION = 5, /* "empty-transaction": START then STOP */
    KORVEX_HEALTH_LAST_READ_ACKED = 6,   /* "last-read-acked" */
    KORVEX_HEALTH_GENERAL_CALL = 7,      /* "general-call" */
    KORVEX_HEALTH_START_BYTE = 8,        /* "start-byte" */
    KORVEX_HEALTH_HS_MASTER_CODE = 9,    /* "hs-master-code" */
    KORVEX_HEALTH_TEN_BIT_ADDRESS = 10,  /* "ten-bit-address" (detail holds the address) */
    /* Glitches */
    KORVEX_HEALTH_SPIKE = 11,            /* "spike" */
    KORVEX_HEALTH_SAME_SAMPLE_EDGE = 12, /* "same-sample-edge" */
    /* Timing, against the limits of the mode */
    KORVEX_HEALTH_T_LOW = 13,    /* "t-low" */
    KORVEX_HEALTH_T_HIGH = 14,   /* "t-high" */
    KORVEX_HEALTH_T_SU_STA = 15, /* "t-su-sta" */
    KORVEX_HEALTH_T_HD_STA = 16, /* "t-hd-sta" */
    KORVEX_HEALTH_T_SU_DAT = 17, /* "t-su-dat" */
    KORVEX_HEALTH_T_HD_DAT = 18, /* "t-hd-dat" */
    KORVEX_HEALTH_T_SU_STO = 19, /* "t-su-sto" */
    KORVEX_HEALTH_T_BUF = 20,    /* "t-buf" */
    KORVEX_HEALTH_F_SCL = 21,    /* "f-scl" */
    /* Clock stretching and SMBus */
    KORVEX_HEALTH_STRETCH = 22,       /* "stretch" */
    KORVEX_HEALTH_SMBUS_TIMEOUT = 23, /* "smbus-timeout" */
    KORVEX_HEALTH_PEC = 24,           /* "pec" */
    KORVEX_HEALTH_STUCK_LOW = 25,     /* "stuck-low" */
    KORVEX_HEALTH_BUS_CLEAR = 26,     /* "bus-clear" */
    /* The sample rate */
    KORVEX_HEALTH_UNDERSAMPLED = 27, /* "undersampled": timing checks are off, said once */
    KORVEX_HEALTH_KIND_COUNT = 28    /* one past the last kind */
};

/* KorvexFinding.severity */
enum {
    KORVEX_SEVERITY_ERROR = 0,
    KORVEX_SEVERITY_WARNING = 1,
    KORVEX_SEVERITY_INFO = 2,
    KORVEX_SEVERITY_UNRESOLVED = 3 /* the sample rate cannot judge it */
};

/* KorvexHealthOptions.mode and busHealthMode() */
enum {
    KORVEX_HEALTH_MODE_AUTO = 0,   /* detected from the median SCL frequency */
    KORVEX_HEALTH_MODE_SM = 1,     /* Standard mode, 100 kHz */
    KORVEX_HEALTH_MODE_FM = 2,     /* Fast mode, 400 kHz */
    KORVEX_HEALTH_MODE_FMPLUS = 3, /* Fast-mode Plus, 1 MHz */
    KORVEX_HEALTH_MODE_SMBUS = 4   /* SMBus: 10-100 kHz, with its timeouts */
};

#define KORVEX_HEALTH_KIND_NAME_SIZE 24
#define KORVEX_HEALTH_DETAIL_SIZE 96

/* One finding. Durations are in nanoseconds, -1 when not applicable. */
typedef struct KorvexFinding
{
    int32_t kind;         /* one of KORVEX_HEALTH_* */
    int32_t severity;     /* one of KORVEX_SEVERITY_* */
    uint64_t sample;      /* sample where it happened, counted from the capture's first */
    int64_t timeNs;       /* the same as time since the first sample (0 without a rate) */
    int64_t measuredNs;   /* what was measured */
    int64_t limitNs;      /* the limit it was held against */
    int64_t resolutionNs; /* the measurement's uncertainty: one sample */
    /* Ordinal, from 0 at the capture's start, of the event it belongs to (the
     * event of its row; for a finding between events, the next event delivered). */
    uint64_t eventIndex;
    char
        kindName[KORVEX_HEALTH_KIND_NAME_SIZE]; /* text identifier, e.g. "t-low" (NUL-terminated) */
    char detail[KORVEX_HEALTH_DETAIL_SIZE];     /* short text for people (NUL-terminated, cut) */
} KorvexFinding;

/* What to check. */
typedef struct KorvexHealthOptions
{
    int32_t mode; /* one of KORVEX_HEALTH_MODE_* */
    /* Minimum pulse width in ns the glitch filter lets through; 0 turns it off. */
    int64_t glitchFilterNs;
    /* Non-zero entry n: transfers to 7-bit address n end with a PEC byte to check. */
    uint8_t pecAddress[128];
} KorvexHealthOptions;

/* userData: as given to enableBusHealth. */
typedef void (*KorvexFindingCallback)(int32_t adapterIndex, const KorvexFinding *findings,
                                      int32_t count, void *userData);

/* Fills *options with the defaults: auto mode, no PEC, no glitch filter. */
KORVEX_API void busHealthDefaults(KorvexHealthOptions *options);

/*
 * Turns bus health on for the captures adapter `index` starts from now on
 * (with callback non-null), or off (callback null; options are then ignored).
 * Options null means the defaults; they are copied. Call it before
 * startI2CCapture. Returns 0 when done; otherwise, after logging why:
 *   1  the index is out of range;
 *   2  the adapter is capturing (or this is a call from its callback);
 *   5  an option is out of range (mode unknown, negative filter width).
 */
KORVEX_API int32_t enableBusHealth(int32_t index, const KorvexHealthOptions *options,
                                   KorvexFindingCallback callback, void *userData);

/*
 * The mode the running or last capture of adapter `index` judges timing by:
 * the one chosen, or the one detected (KORVEX_HEALTH_MODE_AUTO until enough
 * clocks were seen). -1 for an index out of range. Safe from any thread.
 */
KORVEX_API int32_t busHealthMode(int32_t index);

/* Text identifier of a kind ("t-low", ...), "" for a code out of range. Never null. */
KORVEX_API const char *korvexHealthKindName(int32_t kind);

/* Text of a severity ("error", "warning", "info", "unresolved"), "" when out of range. */
KORVEX_API const char *korvexHealthSeverityName(int32_t severity);

#ifdef __cplusplus
}
#endif

#endif /* KORVEX_KORVEXHEALTH_H */
