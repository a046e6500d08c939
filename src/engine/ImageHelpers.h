#pragma once

#include "engine/Geometry.h"

#include <QByteArray>
#include <QImage>

#include <optional>

namespace vantrel {

// Pixel size of an image (never its device-independent size).
SizeValue pixelSizeValue(const QImage &image);

// PNG bytes of the image; none when the image is null or encoding fails. `quality` follows
// QImageWriter (0 = smallest file, 100 = fastest); -1 keeps the encoder's default.
std::optional<QByteArray> pngData(const QImage &image, int quality = -1);

} // namespace vantrel
