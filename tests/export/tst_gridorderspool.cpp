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
        m_used = bytes.size();
        bytes.resize(m_used + n);
        return bytes.data() + m_used;
    }
    void advance(const char* end) override { bytes.resize(end - bytes.constData()); }

private:
    qsizetype m_used = 0;
};

void addRecord(GridOrderSpool& spool, int gridRow, const QByteArray& bytes) {
    spool.startRecord(gridRow);
    char* out = spool.room(bytes.size());
    std::memcpy(out, bytes.constData(), size_t(bytes.size()));
    spool.advance(out + bytes.size());
}

// The record of a grid row: its number, repeated to vary the lengths (row 0 is empty).
QByteArray recordOf(int row) {
    return QByteArray::number(row).repeated(row % 7) + (row % 7 ? "|" : "");
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
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
    }
    void putsRecordsBackInGridOrder() {
        QFETCH(int, rows);
        QFETCH(int, rowsPerBucket);
        QFETCH(qsizetype, memoryBytes);
        QFETCH(bool, spills);
        QTemporaryDir dir;
        GridOrderSpool spool(rows, dir.path(), QStringLiteral("failed"),
                             {rowsPerBucket, memoryBytes, 16});
        std::vector<int> order(static_cast<size_t>(rows));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
        QByteArray expected;
        for (int row = 0; row < rows; ++row)
            if (row % 5 != 3) // rows another program deleted get no record
                expected += recordOf(row);
        for (int row : order)
            if (row % 5 != 3)
                addRecord(spool, row, recordOf(row));

        Collector out;
        spool.writeTo(out);
        QCOMPARE(out.bytes, expected);
        QCOMPARE(spool.spilledBytes() > 0, spills);
        QCOMPARE(entriesOf(dir.path()), QStringList()); // the spill file is gone
    }

    void recordBiggerThanABucket() {
        QTemporaryDir dir;
        GridOrderSpool spool(3, dir.path(), QStringLiteral("failed"), {1, 32, 16});
        const QByteArray big(100000, 'b');
        addRecord(spool, 2, "c");
        addRecord(spool, 1, big);
        addRecord(spool, 0, "a");
        Collector out;
        spool.writeTo(out);
        QCOMPARE(out.bytes, "a" + big + "c");
    }

    void spillFailureIsReported() {
        QTemporaryDir dir;
        // The folder for the spill is a regular file: the spill cannot be made, even by root.
        const QString notAFolder = dir.filePath(QStringLiteral("file"));
        test::writeBytes(notAFolder, "x");
        GridOrderSpool spool(100, notAFolder, QStringLiteral("Cannot create file x"), {10, 16, 16});
        QString error;
        try {
            for (int row = 0; row < 100; ++row)
                addRecord(spool, row, "record");
        } catch (const DataError& e) {
            error = e.message();
        }
        QCOMPARE(error, QStringLiteral("Cannot create file x"));
        QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("file")});
    }
};

QTEST_GUILESS_MAIN(TestGridOrderSpool)
#include "tst_gridorderspool.moc"
