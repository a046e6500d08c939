#include "devices/ios/MJPEGFrameScanner.h"

#include "support/MjpegTestData.h"

#include <QTest>

using namespace vantrel;

namespace {

const QByteArray kSoi("\xFF\xD8", 2);
const QByteArray kEoi("\xFF\xD9", 2);

// Feeds the chunks one by one, taking the frames after each and limiting the buffer.
QList<QByteArray> scan(MJPEGFrameScanner &scanner, const QList<QByteArray> &chunks)
{
    QList<QByteArray> frames;
    for (const QByteArray &chunk : chunks) {
        scanner.append(chunk);
        while (auto frame = scanner.takeFrame())
            frames.append(*frame);
        scanner.limitSize();
    }
    return frames;
}

} // namespace

class MjpegFrameScannerTest : public QObject {
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QByteArray>("left"); // what stays buffered
        const QByteArray red = test::jpegFrame({8, 8}, Qt::red);
        const QByteArray blue = test::jpegFrame({9, 7}, Qt::blue);
        const QByteArray twoParts = test::mjpegPart(red) + test::mjpegPart(blue);
        QList<QByteArray> bytes;
        for (char byte : twoParts)
            bytes << QByteArray(1, byte);
        QTest::newRow("two in one chunk, headers left out")
            << QList<QByteArray>{twoParts + "--Bound"} << QList<QByteArray>{red, blue} << QByteArray("\r\n--Bound");
        QTest::newRow("byte by byte") << bytes << QList<QByteArray>{red, blue} << QByteArray("\r\n");
        QTest::newRow("split inside both markers")
            << QList<QByteArray>{"xx\xFF", "\xD8" "body\xFF", "\xD9"} << QList<QByteArray>{kSoi + "body" + kEoi} << QByteArray();
        QTest::newRow("ends at the first end marker")
            << QList<QByteArray>{kSoi + "thumb" + kEoi + "rest" + kEoi} << QList<QByteArray>{kSoi + "thumb" + kEoi} << "rest" + kEoi;
        QTest::newRow("end before start ignored")
            << QList<QByteArray>{kEoi + "junk" + kSoi + "a", kEoi} << QList<QByteArray>{kSoi + "a" + kEoi} << QByteArray();
    }
    void frames()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QByteArray, left);
        MJPEGFrameScanner scanner;
        QCOMPARE(scan(scanner, chunks), frames);
        QCOMPARE(scanner.buffer(), left);
    }

    void oversizedBufferKeepsItsLastTwoMebibytes()
    {
        MJPEGFrameScanner scanner;
        QVERIFY(scan(scanner, {kSoi, QByteArray(MJPEGFrameScanner::kBufferLimit - 2, 'a')}).isEmpty());
        QCOMPARE(scanner.size(), MJPEGFrameScanner::kBufferLimit); // at the limit: kept whole
        QByteArray tail(MJPEGFrameScanner::kBufferKeep, 'b');
        tail[0] = 'c';
        QVERIFY(scan(scanner, {QByteArray("z") + tail}).isEmpty());
        QCOMPARE(scanner.buffer(), tail);
        QCOMPARE(scan(scanner, {kSoi + "x" + kEoi}), QList<QByteArray>{kSoi + "x" + kEoi}); // still works after the cut
    }
};

QTEST_GUILESS_MAIN(MjpegFrameScannerTest)
#include "tst_mjpeg_frame_scanner.moc"
