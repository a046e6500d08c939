#include "devices/ios/DeviceManager.h"

#include "devices/ios/DeviceElementXMLParser.h"
#include "devices/ios/DeviceManagerError.h"
#include "devices/ElementTreeSize.h"
#include "engine/ImageFileReader.h"
#include "engine/ImageHelpers.h"

#include <QJsonDocument>
#include <QJsonValue>


namespace vantrel {

namespace {

// The "value" of a WebDriver reply whose top level is an object; undefined otherwise.
QJsonValue replyValue(const QJsonDocument &reply)
{
    return reply.isObject() ? reply.object().value(QStringLiteral("value")) : QJsonValue(QJsonValue::Undefined);
}

// Base64 (standard alphabet, padded, nothing else) of an image that decodes; a null image otherwise.
QImage imageFromBase64(const QString &text)
{
    const QByteArray encoded = text.toLatin1();
    if (encoded.size() % 4 != 0)
        return {};
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(encoded, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    try {
        return ImageFileReader::readBytes(*decoded);
    } catch (const std::exception &) {
        return {};
    }
}

} // namespace

// --- High-quality state and element tree --------------------------------------------------------

QCoro::Task<CapturedDeviceState> DeviceManager::refreshHighQualityState(bool updateImage)
{
    if (!m_sessionID)
        throw DeviceManagerError::make(DeviceManagerError::sessionMissing, DeviceManagerError::kSessionMissing);
    const QString sessionID = *m_sessionID;
    QPointer<DeviceManager> self(this);
    const auto gone = [] {
        return DeviceManagerError::make(DeviceManagerError::notConnected, DeviceManagerError::kNotConnected);
    };

    const QByteArray screenshotReply =
        co_await request(AppiumClient::screenshotPath(sessionID), QByteArrayLiteral("GET"), std::nullopt, kScreenshotLimit);
    if (!self)
        throw gone();
    const QJsonValue encoded = replyValue(AppiumClient::parseJson(screenshotReply));
    const QImage image = encoded.isString() ? imageFromBase64(encoded.toString()) : QImage();
    if (image.isNull())
        throw DeviceManagerError::make(DeviceManagerError::screenshotUnreadable, DeviceManagerError::kScreenshotUnreadable);

    const QByteArray sourceReply =
        co_await request(AppiumClient::sourcePath(sessionID), QByteArrayLiteral("GET"), std::nullopt, kSourceLimit);
    if (!self)
        throw gone();
    const QJsonValue source = replyValue(AppiumClient::parseJson(sourceReply));
    if (!source.isString())
        throw DeviceManagerError::make(DeviceManagerError::sourceUnreadable, DeviceManagerError::kSourceUnreadable);
    const QList<DeviceElement> elements = DeviceElementXMLParser::parse(source.toString());

    // A session that ended meanwhile (disconnect, or a new connection) publishes nothing: its
    // screen is no longer the one shown. The caller still gets what it asked for.
    if (m_sessionID == sessionID) {
        setElements(elements, source.toString());
        if (updateImage)
            setLiveImage(image);
    }
    CapturedDeviceState state;
    state.image = image;
    state.elements = elements;
    state.screenSize = ElementTreeSize::largest(elements).value_or(pixelSizeValue(image));
    co_return state;
}

QCoro::Task<void> DeviceManager::refreshElements()
{
    if (!m_sessionID)
        co_return;
    const QString sessionID = *m_sessionID;
    QPointer<DeviceManager> self(this);
    const QByteArray reply = co_await request(AppiumClient::sourcePath(sessionID), QByteArrayLiteral("GET"),
                                              std::nullopt, kPollingSourceLimit);
    if (!self || m_sessionID != sessionID)
        co_return; // the tree of a session that has ended since
    const QJsonValue source = replyValue(AppiumClient::parseJson(reply));
    if (source.isString())
        setElements(DeviceElementXMLParser::parse(source.toString()), source.toString());
}

QCoro::Task<CapturedDeviceState> DeviceManager::captureForComparison()
{
    if (m_sessionID)
        co_return co_await refreshHighQualityState(true);
    if (!m_liveImage)
        throw DeviceManagerError::make(DeviceManagerError::notConnected, DeviceManagerError::kNotConnected);
    CapturedDeviceState state;
    state.image = *m_liveImage;
    state.elements = m_elements;
    state.screenSize = pixelSizeValue(*m_liveImage);
    co_return state;
}

// --- Polling ------------------------------------------------------------------------------------

void DeviceManager::startHierarchyPolling()
{
    stopHierarchyPolling();
    m_hierarchyLoop = m_nextGeneration++;
    pauseBeforeNextPoll();
}

void DeviceManager::pauseBeforeNextPoll()
{
    m_pollingDeadline = PreciseSleep::Clock::now() + m_timing.hierarchyInterval;
    PreciseSleep::armUntil(m_pollingPause, m_pollingDeadline);
}

void DeviceManager::stopHierarchyPolling()
{
    // A refresh already under way finishes, then sees that its loop is no longer current.
    m_hierarchyLoop.reset();
    m_pollingPause.stop();
}

// One turn of the polling loop, started when the pause is over: refresh the tree, log a failure,
// and pause again unless the loop was stopped or replaced meanwhile.
QCoro::Task<void> DeviceManager::pollOnce(QPointer<DeviceManager> self, quint64 generation)
{
    const auto running = [&] { return self && self->m_hierarchyLoop == generation; };
    if (!running())
        co_return;
    try {
        co_await self->refreshElements();
    } catch (const std::exception &error) {
        if (!self)
            co_return;
        self->appendLog(QStringLiteral("元素树刷新失败：") + DeviceManagerError::describe(error) + u'\n');
    }
    if (running())
        self->pauseBeforeNextPoll();
}

// --- Live stream --------------------------------------------------------------------------------

void DeviceManager::startLiveStream()
{
    m_stream.start(QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(m_mjpegPort) + QStringLiteral("/")));
}

void DeviceManager::attachStreamCallbacks()
{
    // Called on the stream's own thread. The images and messages are handed to this object's
    // thread; whatever arrives there after the stream was stopped or replaced is dropped. Posted
    // calls die with this object.
    MJPEGStreamClient *stream = &m_stream;
    m_stream.setOnFrame([this, stream](const QImage &image) {
        const quint64 generation = stream->generation();
        QMetaObject::invokeMethod(
            this, [this, image, generation] {
                if (generation == m_stream.generation())
                    setLiveImage(image);
            },
            Qt::QueuedConnection);
    });
    m_stream.setOnError([this, stream](const QString &message) {
        const quint64 generation = stream->generation();
        QMetaObject::invokeMethod(
            this, [this, message, generation] {
                if (generation == m_stream.generation())
                    appendLog(message);
            },
            Qt::QueuedConnection);
    });
}

} // namespace vantrel
