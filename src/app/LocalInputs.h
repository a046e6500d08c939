#pragma once

#include "engine/Models.h"

namespace vantrel {

// The device name recorded for a comparison against a screenshot loaded from disk.
inline const QString kOfflineDeviceName = QStringLiteral("导入截图");

// Inputs that come from files on this computer rather than from a phone or a link.
class LocalInputs {
public:
    // A design image file becomes a visual-only design named after the file (without extension).
    static ImportedDesign localDesign(const QImage &image, const QString &path);
    // A screenshot file stands in for a phone: no elements, its pixel size as screen size.
    static CapturedDeviceState offlineCapture(const QImage &image);

    // The same from image files (PNG, JPEG or WebP); throw ImageReadError when a file is missing
    // or does not decode.
    static ImportedDesign readDesignFile(const QString &path);
    static CapturedDeviceState readScreenshotFile(const QString &path);
};

} // namespace vantrel
