#pragma once

#include "HttpRequest.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include <functional>

namespace vantrel::fake {

// Serves one client connection: parses requests one after another (keep-alive), asks the handler
// for the scripted response of each and writes it, honouring delays, chunked streams and drops.
class HttpConnection : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<QJsonObject(const HttpRequest &)>;

    HttpConnection(QTcpSocket *socket, Handler handler, QObject *parent = nullptr);

private:
    void readAvailable();
    bool parseNext();
    void respond(const HttpRequest &request, const QJsonObject &response);
    void writeHead(const QJsonObject &response, bool streamed, qsizetype contentLength);
    void streamChunk(QJsonArray chunks, qsizetype index, bool repeat);
    void finishResponse(bool keepAlive);
    void drop();

    static QByteArray bodyOf(const QJsonObject &response);
    static QByteArray chunkData(const QJsonObject &chunk);

    QPointer<QTcpSocket> m_socket;
    Handler m_handler;
    QByteArray m_buffer;
    bool m_busy = false;
    bool m_closeAfter = false;
};

} // namespace vantrel::fake
