// The Android element tree (uiautomator dump, UiAutomator2 page source): every element kept has
// a usable rectangle.
#include "FuzzCheck.h"

#include "devices/android/AndroidElementXMLParser.h"
#include "engine/ModelJson.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const vantrel::DeviceElement &element : vantrel::AndroidElementXMLParser::parse(fuzzBytes(data, size))) {
        FUZZ_CHECK(element.rect.width > 0 && element.rect.height > 0);
        vantrel::json::toJson(element.rect); // throws on a number that is not finite
    }
    return 0;
}
