// The output of "xcrun xctrace list devices", read as the iPhone manager reads it.
#include "FuzzCheck.h"

#include "devices/ios/DeviceManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vantrel::DeviceManager::parseXctraceDevices(QString::fromUtf8(fuzzBytes(data, size)));
    return 0;
}
