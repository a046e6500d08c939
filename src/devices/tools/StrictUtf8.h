#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vantrel {

// Decodes bytes as UTF-8; none when they are not valid UTF-8 (no replacement characters).
std::optional<QString> decodeStrictUtf8(const QByteArray &bytes);

// The same, with invalid input read as empty text.
QString strictUtf8OrEmpty(const QByteArray &bytes);

} // namespace vantrel
