#pragma once

#include "engine/Geometry.h"

#include <QByteArray>
#include <QImage>

#include <optional>

namespace vantrel {

// Pixel size of an image (never its device-independent size).
SizeValue pixelSizeValue(const QImage &image);

// PNG bytes of the image (PngEncoder); none when the image is null or encoding fails.
std::optional<QByteArray> pngData(const QImage &image);

} // namespace vantrel
