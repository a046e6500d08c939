#pragma once

#include "engine/DeviceElement.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vantrel {

// Flattens a WebDriverAgent page source into device elements, in document order. Every element
// with a usable frame (four numeric attributes, positive width and height) is kept, whatever its
// kind; a malformed document yields what was read before the first syntax error.
class DeviceElementXMLParser {
public:
    static QList<DeviceElement> parse(const QString &xml);
    static QList<DeviceElement> parse(const QByteArray &utf8Xml);

    // A number in the C library's sense: the whole text, read by strtod in the C locale, without
    // surrounding white space, and finite ("inf", "nan" and "1e999" are not). Anything else is no
    // number.
    static std::optional<double> readNumber(const QString &text);
    // The shortest decimal text that reads back as the same number, always with a fractional
    // part (16 -> "16.0", 52.5 -> "52.5"); exponent form outside [1e-4, 2^53).
    static QString shortestDecimal(double value);
};

} // namespace vantrel
