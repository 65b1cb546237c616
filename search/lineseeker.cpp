#include "search/lineseeker.h"

#include "capture/capturepipeline.h"
#include "capture/storedline.h"

#include <charconv>

namespace {
constexpr int kSamples = 64;
// Lines read under one lease while scanning: the capture waits no longer.
constexpr int kScanLines = 4096;

// Unreadable lines sort first, so a search passes over them.
int64_t keyAt(CapturePipeline &pipeline, qint64 line, LineSeeker::Key key)
{
    const QByteArray bytes = pipeline.leaseStore()->readLines(int(line), 1);
    return LineSeeker::keyOf(std::string_view(bytes.constData(), size_t(bytes.size())), key)
        .value_or(INT64_MIN);
}
} // namespace

std::optional<int64_t> LineSeeker::keyOf(std::string_view line, Key key)
{
    StoredLine stored;
    if (!stored.parse(line))
        return std::nullopt;
    int64_t value = 0;
    if (key == Key::Timestamp) {
        if (!CaptureRow::timestampFromText(stored.field(StoredLine::Timestamp), &value))
            return std::nullopt;
        return value;
    }
    const std::string_view n = stored.field(StoredLine::Number);
    const auto [end, error] = std::from_chars(n.data(), n.data() + n.size(), value);
    if (error != std::errc() || end != n.data() + n.size())
        return std::nullopt;
    return value;
}

qint64 LineSeeker::firstAtOrAfter(CapturePipeline &pipeline, Key key, int64_t target,
                                  const std::atomic<bool> *cancel)
{
    const auto canceled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    const qint64 lines = pipeline.storedLineCount();
    bool rising = true;
    int64_t previous = INT64_MIN;
    for (int s = 0; s <= kSamples && lines > 0 && rising; ++s) {
        const int64_t k = keyAt(pipeline, (lines - 1) * s / kSamples, key);
        rising = k >= previous;
        previous = k;
    }
    if (rising) {
        qint64 low = 0, high = lines;
        while (low < high) {
            const qint64 mid = low + (high - low) / 2;
            if (keyAt(pipeline, mid, key) < target)
                low = mid + 1;
            else
                high = mid;
        }
        // Rising between the samples too, as far as the answer's neighbours tell.
        if ((low == lines || keyAt(pipeline, low, key) >= target) &&
            (low == 0 || keyAt(pipeline, low - 1, key) < target))
            return low;
    }
    for (qint64 from = 0; from < lines; from += kScanLines) {
        if (canceled())
            return -1;
        const QByteArray chunk = pipeline.leaseStore()->readLines(int(from), kScanLines);
        std::string_view rest(chunk.constData(), size_t(chunk.size()));
        for (qint64 line = from; !rest.empty() && line < lines; ++line) {
            const size_t end = rest.find('\n');
            if (keyOf(rest.substr(0, end), key).value_or(INT64_MIN) >= target)
                return line;
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
    }
    return lines;
}
