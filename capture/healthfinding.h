// One thing found wrong (or worth telling) about the bus, as the program
// keeps it: its kind and severity, where it happened and on which stored line
// it landed, and the measured value against its limit. The kinds' names are
// the words find, filter and the panel use.
#pragma once

#include <cstdint>

struct KorvexFinding;
#include <string>
#include <string_view>

struct HealthFinding
{
    // The order is the panel's and the bit order of the kind masks.
    enum class Kind : uint8_t {
        StartInByte,
        StopInByte,
        MissingStop,
        DataBeforeStart,
        EmptyTransaction,
        LastReadAcked,
        GeneralCall,
        StartByte,
        HsMasterCode,
        TenBitAddress,
        Spike,
        SameSampleEdge,
        TLow,
        THigh,
        TSuSta,
        THdSta,
        TSuDat,
        THdDat,
        TSuSto,
        TBuf,
        FScl,
        Stretch,
        SmbusTimeout,
        Pec,
        StuckLow,
        BusClear,
        Undersampled,
        Count
    };
    static constexpr int kKindCount = int(Kind::Count);
    // Most severe first: the lower the value, the worse.
    enum class Severity : uint8_t { Error, Warning, Info, Unresolved, Count };
    static constexpr int kSeverityCount = int(Severity::Count);

    Kind kind = Kind::Spike;
    Severity severity = Severity::Info;
    int64_t sample = 0;       // sample number from the capture's start
    int64_t timeNs = 0;       // as the rows' times
    int64_t eventIndex = 0;   // the event it belongs to, counted from the capture's start
    int64_t line = -1;        // the stored line it landed on, -1 until stored
    int64_t measuredNs = -1;  // negative: nothing measured
    int64_t limitNs = -1;     // negative: no limit
    int64_t resolutionNs = 0; // ± one sample
    std::string detail;

    // The adapter library's record as ours; false for a kind or severity
    // this program does not know (it is then left out).
    static bool fromLibrary(const KorvexFinding &k, HealthFinding *out);

    // "t-low", "start-in-byte", ...; "" for no kind.
    static std::string_view kindName(Kind k);
    // False for a name no kind has (case matters: the names are lower-case).
    static bool kindFromName(std::string_view name, Kind *k);
    // "error", "warning", "info", "unresolved".
    static std::string_view severityName(Severity s);
    static uint32_t kindBit(Kind k) { return uint32_t(1) << unsigned(k); }
    static uint8_t severityBit(Severity s) { return uint8_t(1u << unsigned(s)); }
    // The worst severity in a mask of severity bits; Count for none.
    static Severity worstSeverity(uint8_t severities);
    // How far the measured value lies past its limit (0 without both): the
    // panel's "worst" among findings of one kind and severity.
    int64_t excess() const;
};
