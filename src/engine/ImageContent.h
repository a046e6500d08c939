#pragma once

#include <QByteArrayView>

namespace vantrel {

// The image kinds the application reads. Anything else is refused, whatever its name says.
enum class ImageFormat { unknown, png, jpeg, webp };

// What a file's bytes are, judged by their content alone, and whether they hold the whole image.
class ImageContent {
public:
    static ImageFormat formatOf(QByteArrayView bytes);
    // The name Qt's image reader knows the format by ("png", "jpeg", "webp").
    static const char *readerFormat(ImageFormat format);
    // True when nothing is cut off: a PNG runs to its end chunk with every critical chunk intact,
    // a JPEG reaches its end-of-image marker, a WebP is as long as its header says. A decoder
    // would otherwise pad a cut-off image with grey or black and call it read.
    static bool isComplete(ImageFormat format, QByteArrayView bytes);
};

} // namespace vantrel
