#include "devices/ios/MJPEGStreamClient.h"

#include "support/AwaitTask.h"
#include "support/FakeHttpServer.h"
#include "support/MjpegTestData.h"
#include "support/WdaScenario.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QMutex>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
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
    QList<QThread *> threads;

    explicit Stream(const QJsonObject &scenario)
        : server(scenario)
    {
        if (!server.isRunning())
            qFatal("%s", qPrintable(server.errorString()));
        client.setOnFrame([this](const QImage &image) {
            QMutexLocker lock(&mutex);
            frames.append(image);
            threads.append(QThread::currentThread());
        });
        client.setOnError([this](const QString &message) {
            QMutexLocker lock(&mutex);
            errors.append(message);
        });
    }
    Stream(const QList<QByteArray> &parts, const QList<int> &delays, bool endless = false)
        : Stream(FakeHttpServer::scenario({test::wda::mjpegRoute(parts, delays, endless)}))
    {
    }
    void start(const QString &path = u"/"_s) { client.start(server.url(path)); }
    qsizetype frameCount()
    {
        QMutexLocker lock(&mutex);
        return frames.size();
    }
    QStringList errorList()
    {
        QMutexLocker lock(&mutex);
        return errors;
    }
    QImage frame(qsizetype index)
    {
        QMutexLocker lock(&mutex);
        return frames.value(index);
    }
};

// Colour at the middle of the top band: what the frame was made of, within JPEG error.
bool looksLike(const QImage &image, QColor color)
{
    const QColor seen = image.pixelColor(image.width() / 2, 1);
    return qAbs(seen.red() - color.red()) < 24 && qAbs(seen.green() - color.green()) < 24
        && qAbs(seen.blue() - color.blue()) < 24;
}

const QColor kRed(220, 30, 30);
const QColor kBlue(30, 30, 220);

} // namespace

class MjpegStreamClientTest : public QObject {
    Q_OBJECT

private slots:
    void framesSplitAcrossChunksWithGarbageAreDecodedInOrder()
    {
        const QByteArray stream = test::mjpegPart(test::jpegFrame({40, 30}, kRed)) + QByteArray("garbage\r\n")
            + test::mjpegPart(test::jpegFrame({40, 30}, kBlue));
        const qsizetype third = stream.size() / 3;
        Stream s({stream.left(third), stream.mid(third, third), stream.mid(2 * third)}, {0, 50, 50});
        s.start();
        QTRY_COMPARE_WITH_TIMEOUT(s.frameCount(), 2, 10000);
        QVERIFY(looksLike(s.frame(0), kRed));
        QVERIFY(looksLike(s.frame(1), kBlue));
        QCOMPARE(s.frame(0).size(), QSize(40, 30));
        // The frames were handed over on the stream thread, not the owner's.
        QVERIFY(s.threads.at(0) != QThread::currentThread());
        // The response ends normally: no error, no reconnection.
        test::spinEventLoop(milliseconds(300));
        QVERIFY(s.errorList().isEmpty());
        QCOMPARE(s.server.requests().size(), 1);
        QCOMPARE(s.client.bufferedBytes(), 2); // the "\r\n" after the last frame
    }

    void undecodableFramesAndBytesOfAStoppedStream()
    {
        Stream s(FakeHttpServer::scenario({}));
        // An undecodable frame is dropped and the next one delivered.
        const QByteArray bogus = QByteArray("\xFF\xD8not a jpeg\xFF\xD9", 14);
        s.client.receive(s.client.generation(), bogus + test::mjpegPart(test::jpegFrame({10, 10}, Qt::yellow)));
        QCOMPARE(s.frameCount(), 1);
        QVERIFY(looksLike(s.frame(0), Qt::yellow));

        const quint64 old = s.client.generation();
        const QByteArray part = test::mjpegPart(test::jpegFrame({10, 10}, Qt::cyan));
        s.client.receive(old, part.left(part.size() / 2));
        QVERIFY(s.client.bufferedBytes() > 0);
        s.client.stop();
        QCOMPARE(s.client.bufferedBytes(), 0);
        QVERIFY(s.client.generation() != old);
        s.client.receive(old, part.mid(part.size() / 2) + part);
        s.client.complete(old, u"boom"_s);
        QVERIFY(s.frameCount() == 1 && s.errorList().isEmpty() && s.client.bufferedBytes() == 0);
    }

    void droppedConnectionIsReportedOnce()
    {
        Stream s(FakeHttpServer::scenario({FakeHttpServer::route("GET", "/", {FakeHttpServer::closeConnection()})}));
        s.start();
        QTRY_COMPARE_WITH_TIMEOUT(s.errorList().size(), 1, 10000);
        // (Qt's HTTP stack itself may resend an idempotent GET once when the first attempt is
        // dropped before any reply; after the report, nothing asks again.)
        const qsizetype requestsAtReport = s.server.requests().size();
        test::spinEventLoop(milliseconds(500));
        const QStringList errors = s.errorList();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.at(0).startsWith(u"实时画面已断开："_s) && errors.at(0).size() > 8, qPrintable(errors.at(0)));
        QCOMPARE(s.server.requests().size(), requestsAtReport); // no reconnection
    }

    void silenceLongerThanTheIdleLimitEndsTheStream()
    {
        const QByteArray part = test::mjpegPart(test::jpegFrame({10, 10}, Qt::magenta));
        Stream s({part, part}, {0, 5000});
        s.client.setTimeouts(milliseconds(400), std::chrono::hours(1));
        s.start();
        QTRY_COMPARE_WITH_TIMEOUT(s.errorList().size(), 1, 10000);
        QCOMPARE(s.frameCount(), 1);
        QCOMPARE(s.errorList().at(0), u"实时画面已断开：请求超时。"_s);
    }

    void stopDuringAnEndlessStreamReportsNothingAfterwards()
    {
        const QByteArray part = test::mjpegPart(test::jpegFrame({64, 64}, Qt::darkGreen));
        Stream s({part + part + part}, {0}, true);
        std::atomic<bool> stopped{false};
        std::atomic<int> afterStop{0};
        std::atomic<int> frames{0};
        std::atomic<int> errors{0};
        s.client.setOnFrame([&](const QImage &) {
            ++frames;
            if (stopped.load())
                ++afterStop;
        });
        s.client.setOnError([&](const QString &) { ++errors; });
        for (int round = 0; round < 5; ++round) {
            const int before = frames.load();
            stopped = false;
            s.start();
            QTRY_VERIFY_WITH_TIMEOUT(frames.load() > before + 3, 10000);
            s.client.stop();
            stopped = true;
            test::spinEventLoop(milliseconds(100));
        }
        QCOMPARE(afterStop.load(), 0);
        QCOMPARE(errors.load(), 0);
        QCOMPARE(s.client.bufferedBytes(), 0);
    }

    void newStartReplacesTheRunningStream()
    {
        const QByteArray red = test::mjpegPart(test::jpegFrame({20, 20}, kRed));
        const QByteArray blue = test::mjpegPart(test::jpegFrame({20, 20}, kBlue));
        Stream s(FakeHttpServer::scenario({test::wda::mjpegRoute({red}, {20}, true, "/red"), test::wda::mjpegRoute({blue}, {20}, true, "/blue")}));
        s.start(u"/red"_s);
        QTRY_VERIFY_WITH_TIMEOUT(s.frameCount() >= 2, 10000);
        s.start(u"/blue"_s);
        const qsizetype switchedAt = s.frameCount();
        QTRY_VERIFY_WITH_TIMEOUT(s.frameCount() >= switchedAt + 3, 10000);
        s.client.stop();
        for (qsizetype i = switchedAt; i < s.frameCount(); ++i)
            QVERIFY2(looksLike(s.frame(i), kBlue), "a frame of the replaced stream arrived");
        QVERIFY(s.errorList().isEmpty());
    }

    void fastSenderKeepsMemoryFlat_data()
    {
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<bool>("framed");
        // A start marker and then none: the buffer of an unfinished frame must be cut, not grow.
        QTest::newRow("no markers") << QByteArray("\xFF\xD8", 2) + QByteArray(1 << 20, 'a') << false;
        QTest::newRow("small frames") << test::mjpegPart(test::jpegFrame({64, 48}, Qt::red)).repeated(64) << true;
        // About 12 MB of JPEG: noise at full quality.
        QImage noise(2048, 2048, QImage::Format_RGB32);
        QRandomGenerator(12345).fillRange(reinterpret_cast<quint32 *>(noise.bits()), noise.sizeInBytes() / 4);
        QByteArray large;
        QBuffer buffer(&large);
        buffer.open(QIODevice::WriteOnly);
        noise.save(&buffer, "JPEG", 100);
        QTest::newRow("large frames") << test::mjpegPart(large) << true;
    }
    void fastSenderKeepsMemoryFlat()
    {
        QFETCH(QByteArray, piece);
        QFETCH(bool, framed);
        const auto residentMiB = [] {
            QFile status(QStringLiteral("/proc/self/status"));
            status.open(QIODevice::ReadOnly);
            for (const QByteArray &line : status.readAll().split('\n'))
                if (line.startsWith("VmRSS:"))
                    return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
            return qint64(-1);
        };
        // A loopback sender on a thread of its own that repeats `piece` as fast as it is taken
        // (never holding more than 4 MiB unsent).
        std::atomic<quint16> port{0};
        std::atomic<bool> done{false};
        std::unique_ptr<QThread> sender(QThread::create([&] {
            QTcpServer listener;
            listener.listen(QHostAddress::LocalHost);
            port = listener.serverPort();
            if (!listener.waitForNewConnection(10'000))
                return;
            std::unique_ptr<QTcpSocket> socket(listener.nextPendingConnection());
            socket->waitForReadyRead(10'000);
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=--BoundaryString\r\n\r\n");
            while (!done && socket->state() == QAbstractSocket::ConnectedState) {
                if (socket->bytesToWrite() < 4 << 20)
                    socket->write(piece);
                socket->waitForBytesWritten(20);
            }
        }));
        sender->start();
        QTRY_VERIFY(port != 0);
        const qint64 before = residentMiB();
        qint64 peak = before;
        std::atomic<int> frames{0};
        auto client = std::make_unique<MJPEGStreamClient>();
        client->setOnFrame([&](const QImage &) { ++frames; });
        client->start(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port.load())));
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 4000) {
            test::spinEventLoop(std::chrono::milliseconds(10));
            peak = qMax(peak, residentMiB());
        }
        QElapsedTimer teardown;
        teardown.start();
        client.reset();
        const qint64 teardownMs = teardown.elapsed();
        done = true;
        sender->wait();
        qInfo("resident memory %lld MiB before, %lld MiB at most while streaming; %d frames; teardown %lld ms", before,
              peak, frames.load(), teardownMs);
#ifdef __SANITIZE_ADDRESS__
        const qint64 quarantine = 256; // freed memory the address sanitizer holds back, in MiB
#else
        const qint64 quarantine = 0;
#endif
        QVERIFY2(peak - before < 200 + quarantine, qPrintable(QStringLiteral("grew by %1 MiB").arg(peak - before)));
        QVERIFY(!framed || frames.load() > 0);
        QVERIFY2(teardownMs < 10'000, "a stopped stream held on to what it had taken in");
    }
};

QTEST_MAIN(MjpegStreamClientTest)
#include "tst_mjpeg_stream_client.moc"
