#include "readahead.h"

namespace qb {

namespace {

// Records per batch: large enough that handing batches over costs nothing worth measuring.
constexpr size_t kBatchRecords = 256;
// Batches read and not yet stored.
constexpr size_t kBatchesAhead = 4;

} // namespace

ReadAhead::ReadAhead(RecordReader& reader)
    : m_reader(reader)
    , m_thread([this] { read(); }) {}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

Utf8Values* ReadAhead::next() {
    while (m_position == m_current.count) {
        if (m_current.error)
            std::rethrow_exception(m_current.error);
        if (m_current.last)
            return nullptr;
        takeNextBatch();
    }
    return &m_current.records[m_position++];
}

void ReadAhead::takeNextBatch() {
    std::unique_lock lock(m_mutex);
    m_spare.push_back(std::move(m_current.records));
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_ready.empty(); });
    m_current = std::move(m_ready.front());
    m_ready.pop_front();
    m_position = 0;
}

void ReadAhead::read() {
    for (;;) {
        Filled filled;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || m_ready.size() < kBatchesAhead; });
            if (m_stopping)
                return;
            if (!m_spare.empty()) {
                filled.records = std::move(m_spare.back());
                m_spare.pop_back();
            }
        }
        const bool more = fill(filled);
        hand(std::move(filled));
        if (!more)
            return;
    }
}

// Reads up to a batch of records; false when the file ended or could not be read.
bool ReadAhead::fill(Filled& filled) {
    filled.records.resize(kBatchRecords);
    try {
        while (filled.count < kBatchRecords) {
            if (!m_reader.next(filled.records[filled.count])) {
                filled.last = true;
                return false;
            }
            ++filled.count;
        }
    } catch (...) {
        filled.error = std::current_exception();
        return false;
    }
    return true;
}

void ReadAhead::hand(Filled filled) {
    {
        const std::lock_guard lock(m_mutex);
        m_ready.push_back(std::move(filled));
    }
    m_changed.notify_all();
}

} // namespace qb
