// The iPhone page source (WebDriverAgent XML): every element kept has a usable frame.
#include "FuzzCheck.h"

#include "devices/ios/DeviceElementXMLParser.h"
#include "engine/ModelJson.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const vantrel::DeviceElement &element : vantrel::DeviceElementXMLParser::parse(fuzzBytes(data, size))) {
        FUZZ_CHECK(element.rect.width > 0 && element.rect.height > 0);
        vantrel::json::toJson(element.rect); // throws on a number that is not finite
    }
    return 0;
}
