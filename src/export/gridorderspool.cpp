#include "gridorderspool.h"

#include "store/dataerror.h"

#include <QTemporaryFile>

#include <algorithm>
#include <cstring>

namespace qb {

namespace {

// Each record in a bucket: its row in the bucket and its length, then its bytes.
struct RecordHeader {
    quint32 rowInBucket;
    quint32 length;
};
constexpr qsizetype kHeaderBytes = sizeof(RecordHeader);

int bucketCountFor(int rowCount, int rowsPerBucket) {
    return (rowCount + rowsPerBucket - 1) / rowsPerBucket;
}

} // namespace

GridOrderSpool::GridOrderSpool(int rowCount, const QString& spillFolder, const QString& failure,
                               const SpoolLimits& limits)
    : m_rowCount(rowCount)
    , m_spillFolder(spillFolder)
    , m_failure(failure)
    , m_limits(limits)
    , m_buckets(size_t(bucketCountFor(rowCount, limits.rowsPerBucket))) {
    m_bucketLimit =
        std::max(limits.minBucketBytes,
                 limits.memoryBytes / std::max<qsizetype>(1, qsizetype(m_buckets.size())));
}

GridOrderSpool::~GridOrderSpool() = default;

void GridOrderSpool::startRecord(int gridRow) {
    Q_ASSERT(gridRow >= 0 && gridRow < m_rowCount);
    m_bucket = &m_buckets[size_t(gridRow / m_limits.rowsPerBucket)];
    m_rowInBucket = quint32(gridRow % m_limits.rowsPerBucket);
}

char* GridOrderSpool::room(qsizetype n) {
    Bucket& bucket = *m_bucket;
    const qsizetype needed = kHeaderBytes + n;
    if (bucket.used > 0 && bucket.used + needed > m_bucketLimit)
        spill(bucket);
    if (bucket.used + needed > bucket.capacity)
        grow(bucket, bucket.used + needed);
    return bucket.bytes.get() + bucket.used + kHeaderBytes;
}

void GridOrderSpool::advance(const char* end) {
    Bucket& bucket = *m_bucket;
    char* header = bucket.bytes.get() + bucket.used;
    const RecordHeader record{m_rowInBucket, quint32(end - header - kHeaderBytes)};
    std::memcpy(header, &record, sizeof record);
    bucket.used += kHeaderBytes + record.length;
}

void GridOrderSpool::grow(Bucket& bucket, qsizetype needed) {
    const qsizetype capacity = std::max(needed, std::min(m_bucketLimit, 2 * bucket.capacity));
    auto bytes = std::make_unique<char[]>(size_t(capacity));
    if (bucket.used > 0)
        std::memcpy(bytes.get(), bucket.bytes.get(), size_t(bucket.used));
    bucket.bytes = std::move(bytes);
    bucket.capacity = capacity;
}

void GridOrderSpool::spill(Bucket& bucket) {
    if (!m_spillFile) {
        m_spillFile = std::make_unique<QTemporaryFile>(m_spillFolder +
                                                       QStringLiteral("/.quillbox-spool-XXXXXX"));
        if (!m_spillFile->open())
            fail();
    }
    if (m_spillFile->write(bucket.bytes.get(), bucket.used) != bucket.used)
        fail();
    bucket.spilled.push_back({m_spilledBytes, bucket.used});
    m_spilledBytes += bucket.used;
    bucket.used = 0;
}

// All of a bucket's bytes in one piece, its memory given up.
std::unique_ptr<char[]> GridOrderSpool::gather(Bucket& bucket, qsizetype& size) {
    size = bucket.used;
    for (const Chunk& chunk : bucket.spilled)
        size += chunk.size;
    std::unique_ptr<char[]> bytes;
    if (bucket.spilled.empty()) {
        bytes = std::move(bucket.bytes);
    } else {
        bytes = std::make_unique<char[]>(size_t(size));
        char* next = bytes.get();
        for (const Chunk& chunk : bucket.spilled) {
            if (!m_spillFile->seek(chunk.offset) ||
                m_spillFile->read(next, chunk.size) != chunk.size)
                fail();
            next += chunk.size;
        }
        if (bucket.used > 0)
            std::memcpy(next, bucket.bytes.get(), size_t(bucket.used));
    }
    bucket = Bucket();
    return bytes;
}

void GridOrderSpool::writeBucket(int index, ByteSink& out) {
    qsizetype size = 0;
    const std::unique_ptr<char[]> bytes = gather(m_buckets[size_t(index)], size);
    const int rows = std::min(m_limits.rowsPerBucket, m_rowCount - index * m_limits.rowsPerBucket);
    std::vector<const char*> recordOf(size_t(rows), nullptr); // its header
    for (const char* next = bytes.get(); next < bytes.get() + size;) {
        RecordHeader record;
        std::memcpy(&record, next, sizeof record);
        recordOf[record.rowInBucket] = next;
        next += kHeaderBytes + record.length;
    }
    for (const char* header : recordOf) {
        if (!header)
            continue;
        RecordHeader record;
        std::memcpy(&record, header, sizeof record);
        char* target = out.room(record.length);
        std::memcpy(target, header + kHeaderBytes, record.length);
        out.advance(target + record.length);
    }
}

void GridOrderSpool::writeTo(ByteSink& out) {
    for (int index = 0; index < int(m_buckets.size()); ++index)
        writeBucket(index, out);
    m_spillFile.reset();
}

void GridOrderSpool::fail() const {
    throw DataError(m_failure);
}

} // namespace qb
