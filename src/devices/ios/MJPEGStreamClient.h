#pragma once

#include "devices/ios/MJPEGFrameScanner.h"

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

namespace vantrel {

class MJPEGStreamConnection;

// Reads an endless MJPEG HTTP response (WebDriverAgent's screen server) and turns it into images.
// The multipart framing is not interpreted: complete JPEGs are cut out of the raw bytes
// (MJPEGFrameScanner), decoded, and handed to the frame callback; frames that do not decode are
// dropped. A stream that ends with an error is reported once through the error callback, as
// "实时画面已断开：" + the description; a normal end or stop() reports nothing. The client never
// reconnects by itself.
//
// Threads: the HTTP transfer runs on the client's own stream thread, which receives the bytes,
// extracts and decodes the frames and calls both callbacks, one at a time and in stream order. The
// callbacks must not assume the owner's thread. start() and stop() are called from the owner's
// thread. All buffer access is serialised by one lock; once stop() (or a new start()) has returned,
// no frame or error of the old stream reaches a callback.
class MJPEGStreamClient : public QObject {
    Q_OBJECT
public:
    using FrameCallback = std::function<void(const QImage &)>;
    using ErrorCallback = std::function<void(const QString &)>;

    // The longest silence between two pieces of data, and the longest life of one response.
    static constexpr std::chrono::milliseconds kIdleTimeout = std::chrono::hours(1);
    static constexpr std::chrono::milliseconds kLifetime = std::chrono::hours(24);
    static inline const QString kDisconnectedPrefix = QStringLiteral("实时画面已断开：");

    explicit MJPEGStreamClient(QObject *parent = nullptr);
    ~MJPEGStreamClient() override;

    // Set once by the owner, before the first start(); kept across starts.
    void setOnFrame(FrameCallback callback);
    void setOnError(ErrorCallback callback);

    // Shorter limits for tests; take effect at the next start().
    void setTimeouts(std::chrono::milliseconds idle, std::chrono::milliseconds lifetime);

    // Begins streaming from `url` (plain GET), replacing any running stream.
    void start(const QUrl &url);
    // Ends the stream and forgets the buffered bytes.
    void stop();

    // Identifies the current stream: changes with every start() and stop(). An owner that forwards
    // frames to another thread compares it there to drop frames of a stream that has since ended.
    quint64 generation() const { return m_generation.load(); }
    qsizetype bufferedBytes() const;

    // Entry points of the transfer (called on the stream thread; public so that tests can feed
    // bytes directly). Anything for a generation other than the current one is ignored.
    void receive(quint64 generation, const QByteArray &data);
    // `error`: none for a normal end; otherwise the transfer error's description.
    void complete(quint64 generation, const std::optional<QString> &error);

private:
    quint64 endStreamLocked();

    mutable QMutex m_mutex;
    MJPEGFrameScanner m_scanner;          // guarded by m_mutex
    std::atomic<quint64> m_generation{0}; // written under m_mutex
    FrameCallback m_onFrame;
    ErrorCallback m_onError;
    std::chrono::milliseconds m_idleTimeout = kIdleTimeout;
    std::chrono::milliseconds m_lifetime = kLifetime;
    QThread m_thread;
    MJPEGStreamConnection *m_connection = nullptr; // lives on m_thread
};

} // namespace vantrel
