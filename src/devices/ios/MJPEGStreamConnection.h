#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace vantrel {

class MJPEGStreamClient;

// The HTTP side of an MJPEG stream: one streaming GET at a time, living on the stream thread of
// its MJPEGStreamClient, to which it hands every received piece of data and the transfer's end.
class MJPEGStreamConnection : public QObject {
    Q_OBJECT
public:
    // The most the network side holds of a stream before the client has taken it.
    static constexpr qint64 kReadBufferSize = 1 << 20;

    explicit MJPEGStreamConnection(MJPEGStreamClient *client);

    // All called on the stream thread.
    void open(const QUrl &url, quint64 generation, std::chrono::milliseconds idleTimeout,
              std::chrono::milliseconds lifetime);
    // Drops the running transfer without reporting anything.
    void close();
    // Releases the network objects; the connection is unusable afterwards.
    void shutdown();

private:
    void finish();

    MJPEGStreamClient *m_client;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTimer *m_lifetimeTimer = nullptr;
    quint64 m_generation = 0;
    bool m_lifetimeExpired = false;
};

} // namespace vantrel
