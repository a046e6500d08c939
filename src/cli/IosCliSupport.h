#pragma once

#include "devices/ios/DeviceManager.h"

#include <QJsonObject>

namespace vantrel::cli {

// The ports an iPhone manager uses, overridable for tests and unusual set-ups:
// VANTREL_IOS_APPIUM_PORT (4723), VANTREL_WDA_PORT (8100), VANTREL_MJPEG_PORT (9100).
void configureIosPorts(DeviceManager &manager);

// Lists the iPhones into the manager, with progress on stderr. An empty list is not an error.
void listIosDevices(DeviceManager &manager);

// An iPhone's record as JSON: id, name, osVersion, isOffline.
QJsonObject iosDeviceJson(const IOSDevice &device);

// Disconnects and waits (at most the session deletion's time limit) for the requests still under
// way, so that the session is ended before the program exits.
void finishIosSession(DeviceManager &manager);

} // namespace vantrel::cli
