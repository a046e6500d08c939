#include "devices/ios/MJPEGStreamClient.h"

#include "devices/ios/MJPEGStreamConnection.h"
#include "engine/ImageFileReader.h"

#include <QMutexLocker>

namespace vantrel {

MJPEGStreamClient::MJPEGStreamClient(QObject *parent)
    : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("MJPEGStream"));
    m_connection = new MJPEGStreamConnection(this);
    m_connection->moveToThread(&m_thread);
    m_thread.start();
}

MJPEGStreamClient::~MJPEGStreamClient()
{
    stop();
    MJPEGStreamConnection *connection = m_connection;
    QMetaObject::invokeMethod(connection, [connection] { connection->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_connection;
}

void MJPEGStreamClient::setOnFrame(FrameCallback callback)
{
    QMutexLocker lock(&m_mutex);
    m_onFrame = std::move(callback);
}

void MJPEGStreamClient::setOnError(ErrorCallback callback)
{
    QMutexLocker lock(&m_mutex);
    m_onError = std::move(callback);
}

void MJPEGStreamClient::setTimeouts(std::chrono::milliseconds idle, std::chrono::milliseconds lifetime)
{
    m_idleTimeout = idle;
    m_lifetime = lifetime;
}

quint64 MJPEGStreamClient::endStreamLocked()
{
    m_scanner.clear();
    return ++m_generation;
}

void MJPEGStreamClient::start(const QUrl &url)
{
    stop();
    quint64 generation = 0;
    {
        QMutexLocker lock(&m_mutex);
        generation = endStreamLocked();
    }
    MJPEGStreamConnection *connection = m_connection;
    const auto idle = m_idleTimeout;
    const auto lifetime = m_lifetime;
    QMetaObject::invokeMethod(
        connection, [connection, url, generation, idle, lifetime] { connection->open(url, generation, idle, lifetime); },
        Qt::QueuedConnection);
}

void MJPEGStreamClient::stop()
{
    {
        // Taking the lock waits for a delivery in progress; after the generation changes, nothing
        // of the old stream is extracted, decoded or reported any more.
        QMutexLocker lock(&m_mutex);
        endStreamLocked();
    }
    MJPEGStreamConnection *connection = m_connection;
    QMetaObject::invokeMethod(connection, [connection] { connection->close(); }, Qt::QueuedConnection);
}

qsizetype MJPEGStreamClient::bufferedBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_scanner.size();
}

void MJPEGStreamClient::receive(quint64 generation, const QByteArray &data)
{
    QMutexLocker lock(&m_mutex);
    if (generation != m_generation.load())
        return;
    m_scanner.append(data);
    while (const std::optional<QByteArray> frame = m_scanner.takeFrame()) {
        const QImage image = ImageFileReader::readBytesOrNull(*frame);
        if (image.isNull())
            continue;
        if (m_onFrame)
            m_onFrame(image);
    }
    m_scanner.limitSize();
}

void MJPEGStreamClient::complete(quint64 generation, const std::optional<QString> &error)
{
    QMutexLocker lock(&m_mutex);
    if (generation != m_generation.load() || !error)
        return;
    if (m_onError)
        m_onError(kDisconnectedPrefix + *error);
}

} // namespace vantrel
