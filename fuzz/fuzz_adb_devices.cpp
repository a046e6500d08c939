// The output of "adb devices -l", read as the Android manager reads it.
#include "FuzzCheck.h"

#include "devices/android/AndroidDeviceManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vantrel::AndroidDeviceManager::parseADBDevices(QString::fromUtf8(fuzzBytes(data, size)));
    return 0;
}
