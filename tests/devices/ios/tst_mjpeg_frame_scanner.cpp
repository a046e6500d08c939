#include "devices/ios/MJPEGFrameScanner.h"

#include "support/MjpegTestData.h"

#include <QTest>

using namespace vantrel;

namespace {

QList<QByteArray> drain(MJPEGFrameScanner &scanner)
{
    QList<QByteArray> frames;
    while (auto frame = scanner.takeFrame())
        frames.append(*frame);
    scanner.limitSize();
    return frames;
}

const QByteArray kSoi("\xFF\xD8", 2);
const QByteArray kEoi("\xFF\xD9", 2);

} // namespace

class MjpegFrameScannerTest : public QObject {
    Q_OBJECT

private slots:
    void twoFramesInOneChunkComeOutInOrder()
    {
        const QByteArray first = test::jpegFrame({8, 8}, Qt::red);
        const QByteArray second = test::jpegFrame({9, 7}, Qt::blue);
        MJPEGFrameScanner scanner;
        scanner.append(test::mjpegPart(first) + test::mjpegPart(second) + "--Bound");
        const QList<QByteArray> frames = drain(scanner);
        QCOMPARE(frames.size(), 2);
        // Boundaries and part headers never reach the frames.
        QCOMPARE(frames.at(0), first);
        QCOMPARE(frames.at(1), second);
        QCOMPARE(scanner.buffer(), QByteArray("\r\n--Bound"));
    }

    void frameSplitAcrossThreeChunksAppearsOnceComplete()
    {
        const QByteArray jpeg = test::jpegFrame({16, 16}, Qt::green);
        const QByteArray part = test::mjpegPart(jpeg);
        const qsizetype a = part.size() / 3;
        const qsizetype b = 2 * part.size() / 3;
        MJPEGFrameScanner scanner;
        scanner.append(part.left(a));
        QVERIFY(drain(scanner).isEmpty());
        scanner.append(part.mid(a, b - a));
        QVERIFY(drain(scanner).isEmpty());
        scanner.append(part.mid(b));
        const QList<QByteArray> frames = drain(scanner);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.at(0), jpeg);
    }

    void markersSplitBetweenChunksAreFound()
    {
        // Every possible cut of a part, including between FF and D8 and between FF and D9.
        const QByteArray jpeg = QByteArray("xx") + kSoi + QByteArray("body") + kEoi;
        const QByteArray expected = kSoi + QByteArray("body") + kEoi;
        for (qsizetype cut = 1; cut < jpeg.size(); ++cut) {
            MJPEGFrameScanner scanner;
            scanner.append(jpeg.left(cut));
            QList<QByteArray> frames = drain(scanner);
            scanner.append(jpeg.mid(cut));
            frames += drain(scanner);
            QCOMPARE(frames.size(), 1);
            QCOMPARE(frames.at(0), expected);
            QCOMPARE(scanner.size(), 0);
        }
    }

    void byteByByteDeliveryYieldsEveryFrame()
    {
        QByteArray stream;
        QList<QByteArray> jpegs;
        for (int i = 0; i < 3; ++i) {
            jpegs << test::jpegFrame({4 + i, 4}, QColor(40 * i, 10, 10));
            stream += test::mjpegPart(jpegs.last());
        }
        MJPEGFrameScanner scanner;
        QList<QByteArray> frames;
        for (char byte : stream) {
            scanner.append(QByteArray(1, byte));
            frames += drain(scanner);
        }
        QCOMPARE(frames, jpegs);
    }

    void frameEndsAtTheFirstEndMarker()
    {
        const QByteArray data = kSoi + QByteArray("thumb") + kEoi + QByteArray("rest") + kEoi;
        MJPEGFrameScanner scanner;
        scanner.append(data);
        const QList<QByteArray> frames = drain(scanner);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.at(0), kSoi + QByteArray("thumb") + kEoi);
        QCOMPARE(scanner.buffer(), QByteArray("rest") + kEoi);
    }

    void endMarkerBeforeTheStartMarkerIsIgnored()
    {
        MJPEGFrameScanner scanner;
        scanner.append(kEoi + QByteArray("junk") + kSoi + QByteArray("a"));
        QVERIFY(drain(scanner).isEmpty());
        scanner.append(kEoi);
        const QList<QByteArray> frames = drain(scanner);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.at(0), kSoi + QByteArray("a") + kEoi);
    }

    void oversizedBufferKeepsItsLastTwoMebibytes()
    {
        MJPEGFrameScanner scanner;
        scanner.append(kSoi);
        QByteArray filler(MJPEGFrameScanner::kBufferLimit - 2, 'a');
        scanner.append(filler);
        QVERIFY(drain(scanner).isEmpty());
        QCOMPARE(scanner.size(), MJPEGFrameScanner::kBufferLimit); // at the limit: kept whole

        QByteArray tail(MJPEGFrameScanner::kBufferKeep, 'b');
        tail[0] = 'c';
        scanner.append(QByteArray("z") + tail);
        QVERIFY(drain(scanner).isEmpty());
        QCOMPARE(scanner.size(), MJPEGFrameScanner::kBufferKeep);
        QCOMPARE(scanner.buffer(), tail);

        // The scanner still works after the cut.
        scanner.append(kSoi + QByteArray("x") + kEoi);
        const QList<QByteArray> frames = drain(scanner);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.at(0), kSoi + QByteArray("x") + kEoi);
    }

    void clearForgetsPartialFrames()
    {
        MJPEGFrameScanner scanner;
        scanner.append(kSoi + QByteArray("old"));
        QVERIFY(drain(scanner).isEmpty());
        scanner.clear();
        scanner.append(QByteArray("new") + kEoi);
        QVERIFY(drain(scanner).isEmpty());
        QCOMPARE(scanner.size(), 5);
    }
};

QTEST_GUILESS_MAIN(MjpegFrameScannerTest)
#include "tst_mjpeg_frame_scanner.moc"
