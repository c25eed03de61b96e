#pragma once

#include "bytesink.h"

#include <QString>

#include <memory>
#include <vector>

class QTemporaryFile;

namespace qb {

struct SpoolLimits {
    int rowsPerBucket = 16384;
    qsizetype memoryBytes = 16 * 1024 * 1024; // shared by the buckets' buffers
    qsizetype minBucketBytes = 64 * 1024;
};

// Puts records that arrive in any order back into grid order. A big book is read many times
// faster in its table's order than in its grid's, where every record is somewhere else in the
// file. Records are gathered in buckets of neighbouring grid rows; a book too big for the
// memory limit spills them to a temporary file in the given folder, which is then read back
// one bucket at a time. Memory stays at a few megabytes for any book.
class GridOrderSpool : public ByteSink {
public:
    // failure: the message thrown when the temporary file cannot be written or read.
    GridOrderSpool(int rowCount, const QString& spillFolder, const QString& failure,
                   const SpoolLimits& limits = {});
    ~GridOrderSpool() override;

    void startRecord(int gridRow); // the record that room() and advance() then fill
    char* room(qsizetype n) override;
    void advance(const char* end) override;

    // Every record in grid order; a row that got no record is left out.
    void writeTo(ByteSink& out);
    qint64 spilledBytes() const { return m_spilledBytes; }

private:
    struct Chunk {
        qint64 offset;
        qsizetype size;
    };
    struct Bucket {
        std::unique_ptr<char[]> bytes;
        qsizetype used = 0;
        qsizetype capacity = 0;
        std::vector<Chunk> spilled; // earlier bytes, in the temporary file
    };

    void spill(Bucket& bucket);
    void grow(Bucket& bucket, qsizetype needed);
    std::unique_ptr<char[]> gather(Bucket& bucket, qsizetype& size);
    void writeBucket(int index, ByteSink& out);
    [[noreturn]] void fail() const;

    int m_rowCount;
    QString m_spillFolder;
    QString m_failure;
    SpoolLimits m_limits;
    qsizetype m_bucketLimit;
    std::vector<Bucket> m_buckets;
    Bucket* m_bucket = nullptr; // of the record being filled
    quint32 m_rowInBucket = 0;
    std::unique_ptr<QTemporaryFile> m_spillFile;
    qint64 m_spilledBytes = 0;
};

} // namespace qb
