#pragma once

#include "records.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace qb {

// Runs a reader on a thread of its own, a batch of records ahead of the one who stores them:
// reading a file and writing the book each take about half of an import, so on two cores the
// two halves overlap. A few batches are in flight at most, so memory stays flat.
class ReadAhead {
public:
    explicit ReadAhead(RecordReader& reader);
    ~ReadAhead(); // stops the reader and waits for it
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next record, in the file's order, valid until the next call; null at the end of the
    // file. The reader's error is thrown here, after the records that came before it.
    Utf8Values* next();

private:
    using Batch = std::vector<Utf8Values>;
    struct Filled {
        Batch records;
        size_t count = 0;
        std::exception_ptr error; // the reader's, after the batch's records; nothing follows
        bool last = false;
    };

    void read();
    bool fill(Filled& filled);
    void hand(Filled filled);
    void takeNextBatch();

    RecordReader& m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Filled> m_ready; // read, not yet taken
    std::vector<Batch> m_spare; // taken and done with: reused, so values keep their room
    bool m_stopping = false;
    Filled m_current;
    size_t m_position = 0;
    std::thread m_thread;
};

} // namespace qb
