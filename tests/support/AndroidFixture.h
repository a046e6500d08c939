#pragma once

#include "devices/android/AndroidDeviceManager.h"
#include "support/AwaitTask.h"
#include "support/FakeAdb.h"
#include "support/TestEnvironment.h"

#include <chrono>
#include <memory>

namespace vantrel::test {

// The Android manager's test bench: a temporary home, no login shell, no appium (unless a FakeAppium
// made before keeps its own), and a fake adb
// that lists kSerial (online, "Pixel_8") and OFF1 (offline) and answers get-state, screencap and a
// uiautomator dump of two elements (the second is "app:id/title"). Build one per test.
struct AndroidFixture {
    static inline const QString kSerial = QStringLiteral("R58N12");
    static inline const QStringList kList{QStringLiteral("devices"), QStringLiteral("-l")};
    static inline const QString kHeading = QStringLiteral("List of devices attached\n");

    explicit AndroidFixture(bool keepAppium = false);

    // A manager that has listed the phones (and so knows adb and kSerial).
    std::unique_ptr<AndroidDeviceManager> listedManager();

    TemporaryHome home;
    EnvironmentOverride environment;
    std::unique_ptr<FakeAdb> adb;
};

} // namespace vantrel::test
