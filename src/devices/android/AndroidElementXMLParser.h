#pragma once

#include "engine/DeviceElement.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vantrel {

// Turns an Android element tree (a uiautomator dump or an Appium UiAutomator2 page source) into
// device elements in document order, parents before children. Tag names are ignored: every start
// tag with a valid "bounds" attribute of positive width and height becomes one element, in the
// phone's pixel coordinates. A document with a syntax error yields the elements read before it.
class AndroidElementXMLParser {
public:
    static QList<DeviceElement> parse(const QString &xml);
    static QList<DeviceElement> parse(const QByteArray &utf8Xml);

    // "[left,top][right,bottom]" with non-negative decimal integers, as a whole; the rectangle
    // (x = left, y = top, width = right - left, height = bottom - top), or none (also when an edge
    // is too large to be finite).
    static std::optional<RectValue> parseBounds(const QString &bounds);

private:
    AndroidElementXMLParser() = delete;
};

} // namespace vantrel
