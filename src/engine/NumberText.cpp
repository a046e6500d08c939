#include "engine/NumberText.h"

#include <charconv>

namespace vantrel {

QString NumberText::fixed(double value, int decimals)
{
    char buffer[400];
    const std::to_chars_result end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (end.ec != std::errc())
        return QString::number(value, 'f', decimals);
    return QString::fromLatin1(buffer, end.ptr - buffer);
}

} // namespace vantrel
