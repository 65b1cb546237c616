#include "lineseeker.h"

#include "capturestore.h"
#include "storedline.h"

#include <charconv>

namespace {
constexpr int kSamples = 64;

// Unreadable lines sort first, so a search passes over them.
int64_t keyAt(const CaptureStore &store, qint64 line, LineSeeker::Key key)
{
    const QByteArray bytes = store.readLines(int(line), 1);
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

qint64 LineSeeker::firstAtOrAfter(const CaptureStore &store, Key key, int64_t target)
{
    const qint64 lines = store.lineIndex().lineCount();
    bool rising = true;
    int64_t previous = INT64_MIN;
    for (int s = 0; s <= kSamples && lines > 0 && rising; ++s) {
        const int64_t k = keyAt(store, (lines - 1) * s / kSamples, key);
        rising = k >= previous;
        previous = k;
    }
    if (rising) {
        qint64 low = 0, high = lines;
        while (low < high) {
            const qint64 mid = low + (high - low) / 2;
            if (keyAt(store, mid, key) < target)
                low = mid + 1;
            else
                high = mid;
        }
        // Rising between the samples too, as far as the answer's neighbours tell.
        if ((low == lines || keyAt(store, low, key) >= target) &&
            (low == 0 || keyAt(store, low - 1, key) < target))
            return low;
    }
    return store.scanLines(0, [&](qint64, std::string_view one) {
        return keyOf(one, key).value_or(INT64_MIN) < target;
    });
}
