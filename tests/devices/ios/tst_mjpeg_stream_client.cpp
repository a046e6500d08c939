#include "devices/ios/MJPEGStreamClient.h"

#include "support/AwaitTask.h"
#include "support/FakeHttpServer.h"
#include "support/MjpegTestData.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace vantrel;
using test::FakeHttpServer;

namespace {

// Records what the client reports, from whichever thread it reports on.
struct Recorder {
    QMutex mutex;
    QList<QImage> frames;
    QStringList errors;
    QList<QThread *> threads;

    void attach(MJPEGStreamClient &client)
    {
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

QJsonObject chunk(const QByteArray &data, int delayMs = 0)
{
    return {{QStringLiteral("base64"), QString::fromLatin1(data.toBase64())}, {QStringLiteral("delayMs"), delayMs}};
}

QJsonObject streamResponse(const QJsonArray &chunks, bool repeat = false)
{
    return {{QStringLiteral("status"), 200},
            {QStringLiteral("headers"),
             QJsonObject{{QStringLiteral("Content-Type"), QStringLiteral("multipart/x-mixed-replace; boundary=--BoundaryString")}}},
            {QStringLiteral("chunks"), chunks},
            {QStringLiteral("repeatChunks"), repeat}};
}

QJsonObject streamScenario(const QJsonObject &response)
{
    return FakeHttpServer::scenario({FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/"), {response})});
}

// Colour at the middle of the top band: what the frame was made of, within JPEG error.
bool looksLike(const QImage &image, QColor color)
{
    const QColor seen = image.pixelColor(image.width() / 2, 1);
    return qAbs(seen.red() - color.red()) < 24 && qAbs(seen.green() - color.green()) < 24
        && qAbs(seen.blue() - color.blue()) < 24;
}

} // namespace

class MjpegStreamClientTest : public QObject {
    Q_OBJECT

private slots:
    void framesSplitAcrossChunksWithGarbageAreDecodedInOrder()
    {
        const QByteArray red = test::jpegFrame({40, 30}, QColor(220, 30, 30));
        const QByteArray blue = test::jpegFrame({40, 30}, QColor(30, 30, 220));
        const QByteArray stream = test::mjpegPart(red) + QByteArray("garbage\r\n") + test::mjpegPart(blue);
        const qsizetype third = stream.size() / 3;
        FakeHttpServer server(streamScenario(streamResponse(
            {chunk(stream.left(third)), chunk(stream.mid(third, third), 50), chunk(stream.mid(2 * third), 50)})));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));

        MJPEGStreamClient client;
        Recorder recorder;
        recorder.attach(client);
        client.start(server.url(QStringLiteral("/")));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.frameCount(), 2, 10000);
        QVERIFY(looksLike(recorder.frame(0), QColor(220, 30, 30)));
        QVERIFY(looksLike(recorder.frame(1), QColor(30, 30, 220)));
        QCOMPARE(recorder.frame(0).size(), QSize(40, 30));
        // The frames were handed over on the stream thread, not the owner's.
        QVERIFY(recorder.threads.at(0) != QThread::currentThread());
        // The response ends normally: no error, no reconnection.
        test::spinEventLoop(std::chrono::milliseconds(300));
        QVERIFY(recorder.errorList().isEmpty());
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(client.bufferedBytes(), 2); // the "\r\n" after the last frame
    }

    void undecodableFrameIsDroppedAndTheNextOneDelivered()
    {
        MJPEGStreamClient client;
        Recorder recorder;
        recorder.attach(client);
        const quint64 generation = client.generation();
        const QByteArray bogus = QByteArray("\xFF\xD8not a jpeg\xFF\xD9", 14);
        client.receive(generation, bogus + test::mjpegPart(test::jpegFrame({10, 10}, Qt::yellow)));
        QCOMPARE(recorder.frameCount(), 1);
        QVERIFY(looksLike(recorder.frame(0), Qt::yellow));
    }

    void bytesOfAStoppedStreamAreIgnored()
    {
        MJPEGStreamClient client;
        Recorder recorder;
        recorder.attach(client);
        const quint64 old = client.generation();
        const QByteArray part = test::mjpegPart(test::jpegFrame({10, 10}, Qt::cyan));
        client.receive(old, part.left(part.size() / 2));
        QVERIFY(client.bufferedBytes() > 0);
        client.stop();
        QCOMPARE(client.bufferedBytes(), 0);
        QVERIFY(client.generation() != old);
        client.receive(old, part.mid(part.size() / 2) + part);
        client.complete(old, QStringLiteral("boom"));
        QVERIFY(recorder.frameCount() == 0 && recorder.errorList().isEmpty() && client.bufferedBytes() == 0);
    }

    void endlessStreamWithoutEndMarkersStaysBounded()
    {
        // 1 MiB pieces after a start marker, forever: the buffer is cut to 2 MiB once it passes 16 MiB.
        const QByteArray piece(1 << 20, 'a');
        FakeHttpServer server(streamScenario(streamResponse({chunk(QByteArray("\xFF\xD8", 2) + piece)}, true)));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        MJPEGStreamClient client;
        Recorder recorder;
        recorder.attach(client);
        qsizetype largest = 0;
        bool wasCut = false;
        qsizetype previous = 0;
        client.start(server.url(QStringLiteral("/")));
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000 && !(wasCut && previous > 4 * (1 << 20))) {
            test::spinEventLoop(std::chrono::milliseconds(5));
            const qsizetype size = client.bufferedBytes();
            largest = qMax(largest, size);
            if (size < previous)
                wasCut = true;
            previous = size;
        }
        client.stop();
        QVERIFY2(wasCut, qPrintable(QStringLiteral("largest buffer %1").arg(largest)));
        QVERIFY(largest <= MJPEGFrameScanner::kBufferLimit + 2 + (1 << 20));
        QCOMPARE(recorder.frameCount(), 0);
        QVERIFY(recorder.errorList().isEmpty());
    }

    void droppedConnectionIsReportedOnce()
    {
        FakeHttpServer server(streamScenario(FakeHttpServer::closeConnection()));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        MJPEGStreamClient client;
        Recorder recorder;
        recorder.attach(client);
        client.start(server.url(QStringLiteral("/")));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.errorList().size(), 1, 10000);
        // (Qt's HTTP stack itself may resend an idempotent GET once when the first attempt is
        // dropped before any reply; after the report, nothing asks again.)
        const qsizetype requestsAtReport = server.requests().size();
        test::spinEventLoop(std::chrono::milliseconds(500));
        const QStringList errors = recorder.errorList();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.at(0).startsWith(QStringLiteral("实时画面已断开：")), qPrintable(errors.at(0)));
        QVERIFY(errors.at(0).size() > QStringLiteral("实时画面已断开：").size());
        QCOMPARE(server.requests().size(), requestsAtReport); // no reconnection
    }

    void silenceLongerThanTheIdleLimitEndsTheStream()
    {
        const QByteArray part = test::mjpegPart(test::jpegFrame({10, 10}, Qt::magenta));
        FakeHttpServer server(streamScenario(streamResponse({chunk(part), chunk(part, 5000)})));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        MJPEGStreamClient client;
        client.setTimeouts(std::chrono::milliseconds(400), std::chrono::hours(1));
        Recorder recorder;
        recorder.attach(client);
        client.start(server.url(QStringLiteral("/")));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.errorList().size(), 1, 10000);
        QCOMPARE(recorder.frameCount(), 1);
        QCOMPARE(recorder.errorList().at(0), QStringLiteral("实时画面已断开：请求超时。"));
    }

    void stopDuringAnEndlessStreamReportsNothingAfterwards()
    {
        const QByteArray part = test::mjpegPart(test::jpegFrame({64, 64}, Qt::darkGreen));
        FakeHttpServer server(streamScenario(streamResponse({chunk(part + part + part)}, true)));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        MJPEGStreamClient client;
        std::atomic<bool> stopped{false};
        std::atomic<int> afterStop{0};
        std::atomic<int> frames{0};
        std::atomic<int> errors{0};
        client.setOnFrame([&](const QImage &) {
            ++frames;
            if (stopped.load())
                ++afterStop;
        });
        client.setOnError([&](const QString &) { ++errors; });
        for (int round = 0; round < 5; ++round) {
            const int before = frames.load();
            stopped = false;
            client.start(server.url(QStringLiteral("/")));
            QTRY_VERIFY_WITH_TIMEOUT(frames.load() > before + 3, 10000);
            client.stop();
            stopped = true;
            test::spinEventLoop(std::chrono::milliseconds(100));
        }
        QCOMPARE(afterStop.load(), 0);
        QCOMPARE(errors.load(), 0);
        QCOMPARE(client.bufferedBytes(), 0);
    }

    void newStartReplacesTheRunningStream()
    {
        const QByteArray red = test::mjpegPart(test::jpegFrame({20, 20}, QColor(220, 30, 30)));
        const QByteArray blue = test::mjpegPart(test::jpegFrame({20, 20}, QColor(30, 30, 220)));
        FakeHttpServer server(FakeHttpServer::scenario(
            {FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/red"), {streamResponse({chunk(red, 20)}, true)}),
             FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/blue"), {streamResponse({chunk(blue, 20)}, true)})}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        MJPEGStreamClient client;
        Recorder recorder;
        recorder.attach(client);
        client.start(server.url(QStringLiteral("/red")));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 2, 10000);
        client.start(server.url(QStringLiteral("/blue")));
        const qsizetype switchedAt = recorder.frameCount();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= switchedAt + 3, 10000);
        client.stop();
        for (qsizetype i = switchedAt; i < recorder.frameCount(); ++i)
            QVERIFY2(looksLike(recorder.frame(i), QColor(30, 30, 220)), "a frame of the replaced stream arrived");
        QVERIFY(recorder.errorList().isEmpty());
    }

    void fastSenderKeepsMemoryFlat_data()
    {
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<bool>("framed");
        QTest::newRow("no markers") << QByteArray(1 << 20, 'a') << false;
        QTest::newRow("small frames") << test::mjpegPart(test::jpegFrame({64, 48}, Qt::red)).repeated(64) << true;
        // About 12 MB of JPEG: noise at full quality.
        QImage noise(2048, 2048, QImage::Format_RGB32);
        quint32 seed = 12345;
        for (int y = 0; y < noise.height(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(noise.scanLine(y));
            for (int x = 0; x < noise.width(); ++x)
                line[x] = (seed = seed * 1664525u + 1013904223u) >> 8;
        }
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
