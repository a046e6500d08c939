#include "cli/ElementTreeFile.h"

#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "devices/android/AndroidElementXMLParser.h"
#include "devices/ios/DeviceElementXMLParser.h"
#include "devices/ElementTreeSize.h"
#include "devices/tools/StrictUtf8.h"

namespace vantrel::cli {

ElementTreeFile readElementTree(const QString &path)
{
    const std::optional<QString> text = decodeStrictUtf8(readWholeFile(path));
    if (!text)
        throw CliError(QStringLiteral("元素树文件不是 UTF-8 文本：") + path);

    ElementTreeFile tree;
    if (text->contains(QStringLiteral("<hierarchy"))) {
        tree.elements = AndroidElementXMLParser::parse(*text);
        tree.screenSize = ElementTreeSize::largest(tree.elements);
        return tree;
    }
    if (text->contains(QStringLiteral("<AppiumAUT")) || text->contains(QStringLiteral("<XCUIElementType"))) {
        tree.elements = DeviceElementXMLParser::parse(*text);
        tree.screenSize = ElementTreeSize::largest(tree.elements);
        return tree;
    }
    throw CliError(QStringLiteral("无法识别的元素树文件（应为 uiautomator dump 或 Appium 页面源码）：") + path);
}

} // namespace vantrel::cli
