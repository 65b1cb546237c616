#include "device/decodecheckpoints.h"

#include "capture/capturepipeline.h"
#include "device/profiledecoration.h"
#include "transaction/transactionindex.h"
#include "transaction/transactionreader.h"

#include <algorithm>
#include <chrono>

namespace {
// Transactions, and lines, read under one lease: a few milliseconds of the store's time.
constexpr qint64 kSlice = 256;
constexpr qint64 kSliceLines = qint64(1) << 15;
constexpr std::chrono::milliseconds kNap(2);
// How often a worker that has caught up looks for new transactions.
constexpr std::chrono::milliseconds kPoll(40);
} // namespace

DecodeCheckpoints::DecodeCheckpoints(CapturePipeline &pipeline, const TransactionIndex &index)
    : m_pipeline(pipeline), m_index(index), m_profiles(std::make_shared<Profiles>())
{
}

DecodeCheckpoints::~DecodeCheckpoints()
{
    stop();
}

void DecodeCheckpoints::setUp(const Profiles &profiles, ProfileDecoder *decoder)
{
    // Every address at once: a profile given on first sight, as a decoder
    // fed from the start gets it, finds the same fresh state.
    for (size_t a = 0; a < profiles.size(); ++a)
        decoder->setProfile(uint8_t(a), profiles[a]);
}

std::shared_ptr<const DecodeCheckpoints::Profiles>
DecodeCheckpoints::profilesOf(const ProfileAssignment &assignment)
{
    auto profiles = std::make_shared<Profiles>();
    for (size_t a = 0; a < profiles->size(); ++a)
        (*profiles)[a] = assignment.profileFor(uint8_t(a));
    return profiles;
}

void DecodeCheckpoints::start(const ProfileAssignment &assignment)
{
    stop();
    std::shared_ptr<const Profiles> profiles = profilesOf(assignment);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_profiles = std::move(profiles);
        m_generation = m_index.generation();
        m_starts.clear();
        m_entries.clear();
        m_starts.shrink_to_fit();
        m_entries.shrink_to_fit();
    }
    m_version.fetch_add(1, std::memory_order_acq_rel);
    m_cancel.store(false);
    m_thread = std::thread([this] { run(); });
}

void DecodeCheckpoints::stop()
{
    m_cancel.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

std::shared_ptr<const DecodeCheckpoints::Profiles> DecodeCheckpoints::profiles() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_profiles;
}

qint64 DecodeCheckpoints::checkpoint(qint64 k) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (k <= 0 || m_starts.empty() || m_generation != m_index.generation())
        return 0;
    return std::min<qint64>(k / kInterval, qint64(m_starts.size()) - 1) * kInterval;
}

qint64 DecodeCheckpoints::reached() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_generation != m_index.generation() || m_starts.empty()
               ? 0
               : (qint64(m_starts.size()) - 1) * kInterval;
}

qint64 DecodeCheckpoints::restore(qint64 k, const std::shared_ptr<const Profiles> &profiles,
                                  ProfileDecoder *decoder) const
{
    ProfileDecoder::Snapshot states;
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (k <= 0 || profiles != m_profiles || m_starts.empty() ||
        m_generation != m_index.generation()) {
        decoder->restore(states);
        return 0;
    }
    const size_t i = size_t(std::min<qint64>(k / kInterval, qint64(m_starts.size()) - 1));
    const size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_entries.size();
    for (size_t e = m_starts[i]; e < end; ++e) {
        const Entry &entry = m_entries[e];
        ProfileDecoder::State &state = states[entry.address];
        state.pointer = entry.pointer;
        state.known = entry.known != 0;
        if (entry.command)
            state.command = &(*m_profiles)[entry.address]->commands[entry.command - 1u];
    }
    decoder->restore(states);
    return qint64(i) * kInterval;
}

size_t DecodeCheckpoints::memoryBytes() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_starts.capacity() * sizeof(uint32_t) + m_entries.capacity() * sizeof(Entry);
}

std::unique_ptr<TransactionDecoration> DecodeCheckpoints::decoration() const
{
    return std::make_unique<ProfileDecoration>(this);
}

void DecodeCheckpoints::add(const ProfileDecoder &decoder, const Profiles &profiles)
{
    const ProfileDecoder::Snapshot &states = decoder.snapshot();
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_starts.push_back(uint32_t(m_entries.size()));
    for (size_t a = 0; a < states.size(); ++a) {
        const ProfileDecoder::State &s = states[a];
        // Only what differs from the start's state.
        if (!profiles[a] || (!s.known && !s.command))
            continue;
        Entry e;
        e.address = uint8_t(a);
        e.pointer = s.pointer;
        e.known = s.known ? 1 : 0;
        if (s.command)
            e.command = uint16_t(s.command - profiles[a]->commands.data() + 1);
        m_entries.push_back(e);
    }
}

void DecodeCheckpoints::run()
{
    const std::shared_ptr<const Profiles> profiles = this->profiles();
    ProfileDecoder decoder;
    setUp(*profiles, &decoder);
    ProfileDecoder::Output out;
    Transaction t;
    quint64 generation = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        generation = m_generation; // what start() found; a Clear since is seen below
    }
    qint64 next = 0;  // the transaction to decode next
    qint64 added = 0; // checkpoints taken
    while (!m_cancel.load(std::memory_order_relaxed)) {
        StoreLease held = m_pipeline.tryLeaseStore();
        if (!held) {
            std::this_thread::sleep_for(kNap);
            continue;
        }
        if (m_index.generation() != generation) {
            // Cleared or reopened: from the first transaction again.
            generation = m_index.generation();
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_starts.clear();
            m_entries.clear();
            m_generation = generation;
            decoder.reset();
            next = added = 0;
        }
        // The open transaction may still grow: decoded once it ends.
        const qint64 count = m_index.count();
        const qint64 settled =
            count > 0 && (m_index.status(count - 1) & Transaction::Open) ? count - 1 : count;
        const qint64 end = std::min(settled, next + kSlice);
        for (qint64 lines = 0;; ++next) {
            if (next == added * kInterval) {
                add(decoder, *profiles);
                ++added;
            }
            if (next >= end || lines >= kSliceLines)
                break;
            lines += std::min(m_index.endLine(next) - m_index.firstLine(next),
                              TransactionReader::kMaxLines);
            if (TransactionReader::read(held.store(), m_index, next, &t))
                decoder.decode(t, &out);
            else
                decoder.reset(); // unreadable: where it left the pointers is not known
        }
        held.release();
        if (next >= settled)
            std::this_thread::sleep_for(kPoll);
    }
}
