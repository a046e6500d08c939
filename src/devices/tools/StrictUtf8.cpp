#include "devices/tools/StrictUtf8.h"

#include <QStringDecoder>

namespace vantrel {

std::optional<QString> decodeStrictUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString strictUtf8OrEmpty(const QByteArray &bytes)
{
    return decodeStrictUtf8(bytes).value_or(QString());
}

} // namespace vantrel
