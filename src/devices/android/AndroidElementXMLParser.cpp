#include "devices/android/AndroidElementXMLParser.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cmath>

namespace vantrel {

namespace {

const QString kDefaultType = QStringLiteral("android.view.View");

std::optional<QString> nonEmptyAttribute(const QXmlStreamAttributes &attributes, const QString &name)
{
    if (!attributes.hasAttribute(name))
        return std::nullopt;
    QString value = attributes.value(name).toString();
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

std::optional<DeviceElement> elementFrom(const QXmlStreamAttributes &attributes, qsizetype index)
{
    if (attributes.isEmpty() || !attributes.hasAttribute(QStringLiteral("bounds")))
        return std::nullopt;
    const QString bounds = attributes.value(QStringLiteral("bounds")).toString();
    const std::optional<RectValue> rect = AndroidElementXMLParser::parseBounds(bounds);
    if (!rect || !(rect->width > 0) || !(rect->height > 0))
        return std::nullopt;

    DeviceElement element;
    element.id = nonEmptyAttribute(attributes, QStringLiteral("resource-id"))
                     .value_or(QStringLiteral("android-") + QString::number(index) + u'-' + bounds);
    element.type = attributes.hasAttribute(QStringLiteral("class"))
                       ? attributes.value(QStringLiteral("class")).toString()
                       : kDefaultType;
    element.label = nonEmptyAttribute(attributes, QStringLiteral("content-desc"));
    element.value = nonEmptyAttribute(attributes, QStringLiteral("text"));
    element.rect = *rect;
    element.visible = attributes.value(QStringLiteral("displayed")) != u"false";
    return element;
}

} // namespace

std::optional<RectValue> AndroidElementXMLParser::parseBounds(const QString &bounds)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("\\[([0-9]+),([0-9]+)\\]\\[([0-9]+),([0-9]+)\\]")));
    const QRegularExpressionMatch match = pattern.match(bounds);
    if (!match.isValid() || !match.hasMatch())
        return std::nullopt;
    // A run of a few hundred digits overflows: no usable bound.
    double edges[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        edges[i] = match.captured(i + 1).toDouble(&ok);
        if (!ok || !std::isfinite(edges[i]))
            return std::nullopt;
    }
    const auto [left, top, right, bottom] = edges;
    return RectValue(left, top, right - left, bottom - top);
}

QList<DeviceElement> AndroidElementXMLParser::parse(const QString &xml)
{
    return parse(xml.toUtf8());
}

QList<DeviceElement> AndroidElementXMLParser::parse(const QByteArray &utf8Xml)
{
    QList<DeviceElement> parsed;
    QXmlStreamReader reader(utf8Xml);
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (auto element = elementFrom(reader.attributes(), parsed.size()))
            parsed.append(std::move(*element));
    }
    return parsed;
}

} // namespace vantrel
