#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace vantrel::fake {

// One parsed HTTP/1.1 request.
struct HttpRequest {
    QByteArray method;
    QString target; // path with query, as sent
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case, in arrival order
    QByteArray body;

    QByteArray header(const QByteArray &lowerName) const
    {
        for (const auto &[name, value] : headers) {
            if (name == lowerName)
                return value;
        }
        return {};
    }
};

} // namespace vantrel::fake
