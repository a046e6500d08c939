#pragma once

#include "devices/android/AndroidDeviceManager.h"

#include <QJsonObject>

namespace vantrel::cli {

// Lists the Android phones into the manager, with progress on stderr. Throws CliError when adb
// cannot be found; an empty list is not an error.
void listAndroidDevices(AndroidDeviceManager &manager);

// Disconnects, then lets the work still under way end (a screenshot already running, the Appium
// session being closed), for at most kFinishLimit, so nothing is cut off when the program exits.
void finishAndroidSession(AndroidDeviceManager &manager);

// An Android phone's record as JSON: id, name, model and state (adb's word).
QJsonObject androidDeviceJson(const AndroidDevice &device);

} // namespace vantrel::cli
