#include "devices/ios/DeviceElementXMLParser.h"

#include <QXmlStreamReader>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace vantrel {

namespace {

// strtod honours LC_NUMERIC, which QCoreApplication sets from the environment; numbers in a page
// source always use the C locale's decimal point.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

bool hasSurrogateDefect(const QString &text)
{
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= length || !text.at(i + 1).isLowSurrogate())
                return true;
            ++i;
        } else if (c.isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

std::optional<DeviceElement> elementFrom(const QXmlStreamReader &reader, qsizetype collected)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    const auto attribute = [&](QLatin1StringView name) -> std::optional<QString> {
        for (const QXmlStreamAttribute &a : attributes) {
            if (a.qualifiedName() == name)
                return a.value().toString();
        }
        return std::nullopt;
    };
    const auto number = [&](QLatin1StringView name) {
        return DeviceElementXMLParser::readNumber(attribute(name).value_or(QString()));
    };

    const std::optional<double> x = number(QLatin1StringView("x"));
    const std::optional<double> y = x ? number(QLatin1StringView("y")) : std::nullopt;
    const std::optional<double> width = y ? number(QLatin1StringView("width")) : std::nullopt;
    const std::optional<double> height = width ? number(QLatin1StringView("height")) : std::nullopt;
    if (!height || !(*width > 0) || !(*height > 0))
        return std::nullopt;

    DeviceElement element;
    element.type = attribute(QLatin1StringView("type")).value_or(reader.qualifiedName().toString());
    if (auto uid = attribute(QLatin1StringView("uid"))) {
        element.id = *uid;
    } else if (auto name = attribute(QLatin1StringView("name"))) {
        element.id = *name;
    } else {
        element.id = element.type + QLatin1Char('-') + DeviceElementXMLParser::shortestDecimal(*x)
            + QLatin1Char('-') + DeviceElementXMLParser::shortestDecimal(*y) + QLatin1Char('-')
            + QString::number(collected);
    }
    element.label = attribute(QLatin1StringView("label"));
    element.value = attribute(QLatin1StringView("value"));
    element.rect = RectValue(*x, *y, *width, *height);
    element.visible = attribute(QLatin1StringView("visible")) != QStringLiteral("false");
    return element;
}

} // namespace

QList<DeviceElement> DeviceElementXMLParser::parse(const QString &xml)
{
    if (hasSurrogateDefect(xml))
        return {};
    return parse(xml.toUtf8());
}

QList<DeviceElement> DeviceElementXMLParser::parse(const QByteArray &utf8Xml)
{
    QList<DeviceElement> parsed;
    QXmlStreamReader reader(utf8Xml);
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            if (auto element = elementFrom(reader, parsed.size()))
                parsed.append(std::move(*element));
        }
    }
    return parsed;
}

std::optional<double> DeviceElementXMLParser::readNumber(const QString &text)
{
    if (text.isEmpty() || text.front().isSpace())
        return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    const char *begin = bytes.constData();
    char *end = nullptr;
    const double value = strtod_l(begin, &end, cLocale());
    // "inf", "nan" and out-of-range numbers ("1e999") read, but are no usable coordinate.
    if (end != begin + bytes.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString DeviceElementXMLParser::shortestDecimal(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    char buffer[64];
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (!plain) {
        // "1e+16" keeps its exponent; the mantissa needs no fractional part there.
        return text;
    }
    if (!text.contains(QLatin1Char('.')))
        text += QStringLiteral(".0");
    return text;
}

} // namespace vantrel
