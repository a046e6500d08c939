#pragma once

#include "devices/AndroidDeviceManager.h"

#include <QJsonObject>

namespace vantrel::cli {

// Lists the Android phones into the manager, with progress on stderr. Throws CliError when adb
// cannot be found; an empty list is not an error.
void listAndroidDevices(AndroidDeviceManager &manager);

// An Android phone's record as JSON: id, name, model and state (adb's word).
QJsonObject androidDeviceJson(const AndroidDevice &device);

} // namespace vantrel::cli
