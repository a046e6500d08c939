#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>

namespace vantrel {

// Decodes the PNGs that screenshots and design exports almost always are: 8-bit RGB or RGBA,
// not interlaced, with no chunk that changes how the pixels read (colour profile, gamma,
// transparency key, text). The image data is inflated in one call by libdeflate and unfiltered
// row by row into the finished image, which is the only full-size buffer. The result is the
// image Qt's decoder gives for the same file (RGB32 or ARGB32, same pixels, same resolution).
// Anything else is left to Qt's decoder; damaged data is refused, never read past.
class PngDecoder {
public:
    enum class Outcome {
        decoded,    // image holds the pixels
        tooLarge,   // the header's size exceeds the limit; size holds it, nothing was decoded
        unreadable, // truncated or corrupt
        notHandled, // not a PNG, or a kind of PNG this decoder leaves to Qt
    };
    struct Result {
        Outcome outcome = Outcome::notHandled;
        QImage image;
        QSize size;
    };

    static bool hasSignature(QByteArrayView bytes);
    // maxPixels bounds width × height; it is checked before any image data is touched.
    static Result decode(QByteArrayView bytes, qint64 maxPixels);
};

} // namespace vantrel
