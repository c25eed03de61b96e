#include "export/gridorderspool.h"
#include "store/dataerror.h"
#include "testfiles.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <numeric>

using namespace qb;

namespace {

// Collects what the spool writes out.
class Collector : public ByteSink {
public:
    QByteArray bytes;
    char* room(qsizetype n) override {
        bytes.resize(bytes.size() + n);
        return bytes.data() + bytes.size() - n;
    }
    void advance(const char* end) override { bytes.resize(end - bytes.constData()); }
};

// The record of a grid row: its number, repeated to vary the lengths (row 0 is empty); row 1
// is bigger than any bucket.
QByteArray recordOf(int row) {
    return row == 1 ? QByteArray(100000, 'b')
                    : QByteArray::number(row).repeated(row % 7) + (row % 7 ? "|" : "");
}

} // namespace

class TestGridOrderSpool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void putsRecordsBackInGridOrder_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("rowsPerBucket");
        QTest::addColumn<qsizetype>("memoryBytes");
        QTest::addColumn<bool>("spills");
        QTest::newRow("no rows") << 0 << 16384 << qsizetype(1 << 24) << false;
        QTest::newRow("one bucket in memory") << 500 << 16384 << qsizetype(1 << 24) << false;
        QTest::newRow("many buckets in memory") << 500 << 7 << qsizetype(1 << 24) << false;
        QTest::newRow("spilled, small buckets") << 2000 << 7 << qsizetype(64) << true;
        QTest::newRow("spilled, one bucket") << 2000 << 16384 << qsizetype(64) << true;
        QTest::newRow("last bucket partly used") << 1001 << 100 << qsizetype(64) << true;
        QTest::newRow("one row a bucket") << 3 << 1 << qsizetype(32) << false;
        QTest::newRow("spill cannot be made") << 100 << 10 << qsizetype(16) << true;
    }
    void putsRecordsBackInGridOrder() {
        QFETCH(int, rows);
        QFETCH(int, rowsPerBucket);
        QFETCH(qsizetype, memoryBytes);
        QFETCH(bool, spills);
        QTemporaryDir dir;
        // A regular file as the spill folder: the spill fails, even for root.
        const bool blocked = rows == 100;
        QString folder = dir.path();
        if (blocked)
            test::writeBytes(folder = dir.filePath(QStringLiteral("file")), "x");
        GridOrderSpool spool(rows, folder, QStringLiteral("Cannot create file x"),
                             {rowsPerBucket, memoryBytes, 16});
        std::vector<int> order(static_cast<size_t>(rows));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
        QByteArray expected;
        QString error;
        try {
            for (int row : order) {
                if (row % 5 == 3) // rows another program deleted get no record
                    continue;
                const QByteArray bytes = recordOf(row);
                spool.startRecord(row);
                char* out = spool.room(bytes.size());
                std::memcpy(out, bytes.constData(), size_t(bytes.size()));
                spool.advance(out + bytes.size());
            }
            for (int row = 0; row < rows; ++row)
                expected += row % 5 == 3 ? QByteArray() : recordOf(row);
            Collector out;
            spool.writeTo(out);
            QCOMPARE(out.bytes, expected);
            QCOMPARE(spool.spilledBytes() > 0, spills);
        } catch (const DataError& e) {
            error = e.message();
        }
        QCOMPARE(error, blocked ? QStringLiteral("Cannot create file x") : QString());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 blocked ? QStringList{QStringLiteral("file")} : QStringList());
    }
};

QTEST_GUILESS_MAIN(TestGridOrderSpool)
#include "tst_gridorderspool.moc"
