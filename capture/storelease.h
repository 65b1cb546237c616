// The one way to the mutable capture store: a move-only lease that the
// CapturePipeline hands out to one party at a time and takes back when the
// lease is destroyed or released. Code that holds no lease cannot reach the
// store's writing or index-reading operations, so a forgotten flag cannot
// race the capture thread.
#pragma once

class CapturePipeline;
class CaptureStore;

class StoreLease
{
public:
    // An empty lease: the store was busy.
    StoreLease() = default;
    StoreLease(StoreLease &&other) noexcept : m_pipeline(other.m_pipeline)
    {
        other.m_pipeline = nullptr;
    }
    StoreLease &operator=(StoreLease &&other) noexcept;
    StoreLease(const StoreLease &) = delete;
    StoreLease &operator=(const StoreLease &) = delete;
    ~StoreLease() { release(); }

    // True while the store is held.
    explicit operator bool() const { return m_pipeline != nullptr; }
    // Only on a held lease.
    CaptureStore &store() const;
    CaptureStore *operator->() const { return &store(); }
    // Gives the store back before the lease goes.
    void release();

private:
    friend class CapturePipeline;
    explicit StoreLease(CapturePipeline *pipeline) : m_pipeline(pipeline) {}

    CapturePipeline *m_pipeline = nullptr;
};
