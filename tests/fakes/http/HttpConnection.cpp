#include "HttpConnection.h"

#include <QJsonArray>
#include <QTimer>

namespace vantrel::fake {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// Parses a chunked request body starting at `from`; returns the end offset or -1 when incomplete.
qsizetype parseChunkedBody(const QByteArray &buffer, qsizetype from, QByteArray *body)
{
    qsizetype position = from;
    QByteArray collected;
    for (;;) {
        const qsizetype lineEnd = buffer.indexOf("\r\n", position);
        if (lineEnd < 0)
            return -1;
        bool ok = false;
        const qsizetype size = buffer.mid(position, lineEnd - position).split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok)
            return -1;
        position = lineEnd + 2;
        if (size == 0) {
            const qsizetype trailerEnd = buffer.indexOf("\r\n", position);
            if (trailerEnd < 0)
                return -1;
            *body = collected;
            return trailerEnd + 2;
        }
        if (buffer.size() < position + size + 2)
            return -1;
        collected += buffer.mid(position, size);
        position += size + 2;
    }
}

// Bytes given as Base64, else as UTF-8 text.
QByteArray payload(const QJsonObject &object, const QString &base64Key, const QString &textKey)
{
    if (object.contains(base64Key))
        return QByteArray::fromBase64(object.value(base64Key).toString().toLatin1());
    return object.value(textKey).toString().toUtf8();
}

} // namespace

HttpConnection::HttpConnection(QTcpSocket *socket, Handler handler, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_handler(std::move(handler))
{
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::readAvailable);
}

void HttpConnection::readAvailable()
{
    if (!m_socket)
        return;
    m_buffer += m_socket->readAll();
    while (!m_busy && parseNext()) {
    }
}

bool HttpConnection::parseNext()
{
    const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() < 3) {
        drop();
        return false;
    }
    HttpRequest request;
    request.method = requestLine.at(0);
    request.target = QString::fromUtf8(requestLine.at(1));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    const qsizetype bodyStart = headEnd + 4;
    qsizetype requestEnd = bodyStart;
    if (request.header("transfer-encoding").toLower().contains("chunked")) {
        requestEnd = parseChunkedBody(m_buffer, bodyStart, &request.body);
        if (requestEnd < 0)
            return false;
    } else {
        const qsizetype length = request.header("content-length").toLongLong();
        if (m_buffer.size() < bodyStart + length)
            return false;
        request.body = m_buffer.mid(bodyStart, length);
        requestEnd = bodyStart + length;
    }
    m_buffer.remove(0, requestEnd);

    const QByteArray connection = request.header("connection").toLower();
    const bool http10 = requestLine.at(2).trimmed() == "HTTP/1.0";
    m_closeAfter = connection.contains("close") || (http10 && !connection.contains("keep-alive"));
    m_busy = true;

    const QJsonObject response = m_handler(request);
    const int delay = response.value(QStringLiteral("delayMs")).toInt();
    if (delay > 0) {
        QTimer::singleShot(delay, this, [this, request, response] { respond(request, response); });
    } else {
        respond(request, response);
    }
    return true;
}

QByteArray HttpConnection::bodyOf(const QJsonObject &response)
{
    return payload(response, QStringLiteral("bodyBase64"), QStringLiteral("body"));
}

QByteArray HttpConnection::chunkData(const QJsonObject &chunk)
{
    return payload(chunk, QStringLiteral("base64"), QStringLiteral("data"));
}

void HttpConnection::writeHead(const QJsonObject &response, bool streamed, qsizetype contentLength)
{
    const int status = response.value(QStringLiteral("status")).toInt(200);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    const QJsonObject headers = response.value(QStringLiteral("headers")).toObject();
    bool scriptedConnection = false;
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        const QByteArray value = it.value().toVariant().toString().toUtf8();
        head += it.key().toUtf8() + ": " + value + "\r\n";
        // A scripted "Connection: close" ends the connection after this response.
        if (it.key().compare(QLatin1String("Connection"), Qt::CaseInsensitive) == 0) {
            scriptedConnection = true;
            m_closeAfter = m_closeAfter || value.toLower().contains("close");
        }
    }
    if (scriptedConnection) {
        if (!streamed)
            head += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    } else if (streamed) {
        head += "Connection: close\r\n";
    } else {
        head += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
        head += m_closeAfter ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    }
    head += "\r\n";
    m_socket->write(head);
}

void HttpConnection::respond(const HttpRequest &request, const QJsonObject &response)
{
    if (!m_socket)
        return;
    if (response.value(QStringLiteral("close")).toBool()) {
        drop();
        return;
    }
    const QJsonArray chunks = response.value(QStringLiteral("chunks")).toArray();
    if (response.contains(QStringLiteral("chunks"))) {
        writeHead(response, true, 0);
        m_closeAfter = true;
        streamChunk(chunks, 0, response.value(QStringLiteral("repeatChunks")).toBool());
        return;
    }
    const QByteArray body = bodyOf(response);
    writeHead(response, false, body.size());
    if (request.method != "HEAD")
        m_socket->write(body);
    finishResponse(!m_closeAfter);
}

void HttpConnection::streamChunk(QJsonArray chunks, qsizetype index, bool repeat)
{
    if (!m_socket)
        return;
    if (index >= chunks.size()) {
        if (repeat && !chunks.isEmpty()) {
            index = 0;
        } else {
            finishResponse(false);
            return;
        }
    }
    if (m_socket->bytesToWrite() > 4 * 1024 * 1024) {
        // The client reads slowly: wait instead of buffering an endless stream in memory.
        QTimer::singleShot(10, this, [this, chunks, index, repeat] { streamChunk(chunks, index, repeat); });
        return;
    }
    const QJsonObject chunk = chunks.at(index).toObject();
    const int delay = chunk.value(QStringLiteral("delayMs")).toInt();
    auto send = [this, chunks, index, repeat, chunk] {
        if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        m_socket->write(chunkData(chunk));
        // Let the event loop breathe between pieces so the client sees them separately.
        QTimer::singleShot(0, this, [this, chunks, index, repeat] { streamChunk(chunks, index + 1, repeat); });
    };
    if (delay > 0)
        QTimer::singleShot(delay, this, send);
    else
        send();
}

void HttpConnection::finishResponse(bool keepAlive)
{
    m_busy = false;
    if (!keepAlive) {
        m_socket->disconnectFromHost();
        return;
    }
    if (!m_buffer.isEmpty())
        QTimer::singleShot(0, this, &HttpConnection::readAvailable);
}

void HttpConnection::drop()
{
    m_busy = true; // nothing more is answered on this connection
    if (m_socket)
        m_socket->disconnectFromHost();
}

} // namespace vantrel::fake
