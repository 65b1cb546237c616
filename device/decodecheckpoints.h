// Where the devices' pointers stand every kInterval transactions of the
// capture, so a page of the transaction view (or a find) decodes from the
// nearest checkpoint before it rather than from the first transaction. A
// worker thread computes them as the capture grows, reading transactions
// through short store leases; Clear and Open (the index's generation) and
// start() with other profile choices begin them again.
//
// Compact: a checkpoint holds only the states of addresses that have a
// profile and whose pointer or command is known (8 bytes each), so a
// capture of a few devices costs a few bytes per kInterval transactions.
//
// Threads: start(), stop() and the destructor are for one (the GUI)
// thread; the rest is safe from any thread, since the checkpoints and the
// profiles are read and written only under m_mutex.
#pragma once

#include "device/profileassignment.h"
#include "device/profiledecoder.h"

#include <QtGlobal>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CapturePipeline;
class TransactionDecoration;
class TransactionIndex;

class DecodeCheckpoints
{
public:
    using Profiles = std::array<std::shared_ptr<const DeviceProfile>, 128>;
    // Transactions between checkpoints: a page fill decodes at most this
    // many more than it shows.
    static constexpr qint64 kInterval = 32;

    // index: the pipeline's, told of every line; both outlive this.
    DecodeCheckpoints(CapturePipeline &pipeline, const TransactionIndex &index);
    ~DecodeCheckpoints(); // stops the worker
    Q_DISABLE_COPY(DecodeCheckpoints)

    // (Re)starts the worker from the first transaction with the profiles
    // assignment gives each address (a copy is taken).
    void start(const ProfileAssignment &assignment);
    void stop();
    bool running() const { return m_thread.joinable(); }

    // Moves with every start().
    quint64 version() const { return m_version.load(std::memory_order_acquire); }
    // The profile of each address in force since the last start().
    std::shared_ptr<const Profiles> profiles() const;
    // The latest checkpoint's transaction at or before k (0: the start).
    qint64 checkpoint(qint64 k) const;
    // Puts into decoder the states of checkpoint(k) and returns that
    // transaction; the start's states and 0 unless decoder holds
    // `profiles`, the ones in force (their commands are pointed at).
    qint64 restore(qint64 k, const std::shared_ptr<const Profiles> &profiles,
                   ProfileDecoder *decoder) const;
    // Transactions up to which checkpoints are known (a multiple of kInterval).
    qint64 reached() const;
    size_t memoryBytes() const;

    // A decoration that decodes from these checkpoints.
    std::unique_ptr<TransactionDecoration> decoration() const;
    // The profile assignment gives each address.
    static std::shared_ptr<const Profiles> profilesOf(const ProfileAssignment &assignment);
    // Gives decoder every address's profile.
    static void setUp(const Profiles &profiles, ProfileDecoder *decoder);

private:
    struct Entry
    {
        uint32_t pointer = 0;
        uint16_t command = 0; // index in the profile's commands + 1, 0: none
        uint8_t address = 0;
        uint8_t known = 0;
    };

    void run();
    // Adds the decoder's states as the next checkpoint.
    void add(const ProfileDecoder &decoder, const Profiles &profiles);

    CapturePipeline &m_pipeline;
    const TransactionIndex &m_index;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<quint64> m_version{0};
    mutable std::mutex m_mutex; // guards the members below; the worker adds, readers copy
    std::shared_ptr<const Profiles> m_profiles;
    std::vector<uint32_t> m_starts; // per checkpoint: its first entry
    std::vector<Entry> m_entries;
    quint64 m_generation = 0; // the index's generation the checkpoints belong to
};
