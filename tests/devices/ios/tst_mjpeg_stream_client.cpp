#include "devices/ios/MJPEGStreamClient.h"

#include "support/AwaitTask.h"
#include "support/FakeHttpServer.h"
#include "support/MjpegTestData.h"
#include "support/TestEnvironment.h"
#include "support/WdaScenario.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace vantrel;
using namespace Qt::StringLiterals;
using test::FakeHttpServer;
using std::chrono::milliseconds;

namespace {

// A fake screen server and a client that records what it reports, from whichever thread it reports on.
struct Stream {
    FakeHttpServer server;
    MJPEGStreamClient client;
    QMutex mutex;
    QList<QImage> frames;
    QStringList errors;
    bool offThread = true; // every frame arrived on a thread other than the owner's

    explicit Stream(const QJsonArray &routes)
        : server(FakeHttpServer::scenario(routes))
    {
        client.setOnFrame([this](const QImage &image) {
            QMutexLocker lock(&mutex);
            frames.append(image);
            offThread = offThread && QThread::currentThread() != qApp->thread();
        });
        client.setOnError([this](const QString &message) {
            QMutexLocker lock(&mutex);
            errors.append(message);
        });
    }
    void start(const QString &path = u"/"_s) { client.start(server.url(path)); }
    template <typename T> T locked(const T &value)
    {
        QMutexLocker lock(&mutex);
        return value;
    }
};

// Colour at the middle of the top band: what the frame was made of, within JPEG error.
bool looksLike(const QImage &image, QColor color)
{
    const QColor seen = image.pixelColor(image.width() / 2, 1);
    return qAbs(seen.red() - color.red()) < 24 && qAbs(seen.green() - color.green()) < 24 && qAbs(seen.blue() - color.blue()) < 24;
}

const QColor kRed(220, 30, 30);
const QColor kBlue(30, 30, 220);

} // namespace

class MjpegStreamClientTest : public QObject {
    Q_OBJECT

private slots:
    // Frames split across chunks, a normal end, streams replaced and stopped, and silence.
    void framesRestartsAndSilence()
    {
        const QByteArray red = test::mjpegPart(test::jpegFrame({40, 30}, kRed));
        const QByteArray blue = test::mjpegPart(test::jpegFrame({40, 30}, kBlue));
        const QByteArray stream = red + QByteArray("garbage\r\n") + blue;
        const qsizetype third = stream.size() / 3;
        Stream s({test::wda::mjpegRoute({stream.left(third), stream.mid(third, third), stream.mid(2 * third)}, {0, 50, 50}, false),
                  test::wda::mjpegRoute({red, red}, {0, 5000}, false, u"/quiet"_s),
                  test::wda::mjpegRoute({red + red + red}, {0}, true, u"/red"_s), test::wda::mjpegRoute({blue}, {10}, true, u"/blue"_s)});
        s.start();
        QTRY_COMPARE_WITH_TIMEOUT(s.locked(s.frames).size(), 2, 10000);
        const QList<QImage> first = s.locked(s.frames);
        QVERIFY(looksLike(first.at(0), kRed) && looksLike(first.at(1), kBlue));
        QCOMPARE(first.at(0).size(), QSize(40, 30));
        QVERIFY(s.locked(s.offThread)); // decoded on the stream thread
        // The response ends normally: no error, no reconnection.
        test::spinEventLoop(milliseconds(300));
        QVERIFY(s.locked(s.errors).isEmpty());
        QCOMPARE(s.server.requests().size(), 1);
        QCOMPARE(s.client.bufferedBytes(), 2); // the "\r\n" after the last frame

        for (int round = 0; round < 4; ++round) {
            const qsizetype roundStart = s.locked(s.frames).size();
            s.start(u"/red"_s);
            QTRY_VERIFY_WITH_TIMEOUT(s.locked(s.frames).size() >= roundStart + 3, 10000);
            s.start(u"/blue"_s); // replaces the red stream
            const qsizetype switchedAt = s.locked(s.frames).size();
            QTRY_VERIFY_WITH_TIMEOUT(s.locked(s.frames).size() >= switchedAt + 3, 10000);
            s.client.stop();
            const QList<QImage> frames = s.locked(s.frames);
            for (qsizetype i = switchedAt; i < frames.size(); ++i)
                QVERIFY2(looksLike(frames.at(i), kBlue), "a frame of the replaced stream arrived");
            test::spinEventLoop(milliseconds(100));
            QCOMPARE(s.locked(s.frames).size(), frames.size()); // nothing after stop()
        }
        QVERIFY(s.locked(s.errors).isEmpty());

        // Silence longer than the idle limit ends a stream. (A dropped connection, reported once
        // and never retried: the manager's broken-stream test.)
        const qsizetype before = s.locked(s.frames).size();
        s.client.setTimeouts(milliseconds(400), std::chrono::hours(1));
        s.start(u"/quiet"_s);
        QTRY_COMPARE_WITH_TIMEOUT(s.locked(s.errors).size(), 1, 10000);
        QCOMPARE(s.locked(s.frames).size(), before + 1);
        QCOMPARE(s.locked(s.errors).at(0), u"实时画面已断开：请求超时。"_s);
    }

    void undecodableFramesOverlongFramesAndBytesOfAStoppedStream()
    {
        Stream s({});
        // An undecodable frame is dropped and the next one delivered.
        const QByteArray bogus = QByteArray("\xFF\xD8not a jpeg\xFF\xD9", 14);
        s.client.receive(s.client.generation(), bogus + test::mjpegPart(test::jpegFrame({10, 10}, Qt::yellow)));
        QCOMPARE(s.frames.size(), 1);
        QVERIFY(looksLike(s.frames.at(0), Qt::yellow));
        // A start marker and then none: the unfinished frame is cut, not kept growing.
        s.client.receive(s.client.generation(), QByteArray("\xFF\xD8", 2) + QByteArray(3 << 20, 'a'));
        QVERIFY(s.client.bufferedBytes() <= 16 << 20);

        const quint64 old = s.client.generation();
        const QByteArray part = test::mjpegPart(test::jpegFrame({10, 10}, Qt::cyan));
        s.client.receive(old, part.left(part.size() / 2));
        QVERIFY(s.client.bufferedBytes() > 0);
        s.client.stop();
        QCOMPARE(s.client.bufferedBytes(), 0);
        QVERIFY(s.client.generation() != old);
        s.client.receive(old, part.mid(part.size() / 2) + part);
        s.client.complete(old, u"boom"_s);
        QVERIFY(s.frames.size() == 1 && s.errors.isEmpty() && s.client.bufferedBytes() == 0);
    }

    // Large frames sent faster than they decode: the client takes in no more than it can handle.
    void fastSenderKeepsMemoryFlat()
    {
        const auto residentMiB = [] { return test::ownMemoryKiB("VmRSS") / 1024; };
        // About 12 MB of JPEG: noise at full quality.
        QImage noise(2048, 2048, QImage::Format_RGB32);
        QRandomGenerator(12345).fillRange(reinterpret_cast<quint32 *>(noise.bits()), noise.sizeInBytes() / 4);
        const QByteArray large = test::imageBytes(noise, "jpeg", false, 100);
        // The fake sends the next frame as soon as the last one is taken.
        Stream s({test::wda::mjpegRoute({test::mjpegPart(large)}, {0}, true)});
        std::atomic<int> frames{0};
        s.client.setOnFrame([&](const QImage &) { ++frames; }); // counted, not kept
        const qint64 before = residentMiB();
        qint64 peak = before;
        s.start();
        for (const QDeadlineTimer deadline(4000, Qt::PreciseTimer); !deadline.hasExpired();) {
            test::spinEventLoop(milliseconds(10));
            peak = qMax(peak, residentMiB());
        }
        s.client.stop();
#ifdef __SANITIZE_ADDRESS__
        const qint64 quarantine = 256; // freed memory the address sanitizer holds back, in MiB
#else
        const qint64 quarantine = 0;
#endif
        QVERIFY2(peak - before < 200 + quarantine, qPrintable(QStringLiteral("grew by %1 MiB").arg(peak - before)));
        QVERIFY(frames.load() > 0);
    }
};

QTEST_MAIN(MjpegStreamClientTest)
#include "tst_mjpeg_stream_client.moc"
