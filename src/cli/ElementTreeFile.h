#pragma once

#include "engine/DeviceElement.h"
#include "engine/Geometry.h"

#include <QList>
#include <QString>

#include <optional>

namespace vantrel::cli {

// A device element tree read from a file for `compare --elements`.
struct ElementTreeFile {
    QList<DeviceElement> elements;
    // The extent of the element coordinate space: the largest element's size; none when the tree
    // holds no element (the caller then uses the screenshot's pixel size).
    std::optional<SizeValue> screenSize;
};

// Reads an Android tree (a uiautomator dump or an Appium page source, recognised by "<hierarchy")
// or a WebDriverAgent page source (recognised by "<AppiumAUT" or "<XCUIElementType").
// Throws CliError naming the file when it cannot be read or is of no known kind.
ElementTreeFile readElementTree(const QString &path);

} // namespace vantrel::cli
