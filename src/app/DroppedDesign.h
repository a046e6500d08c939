#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QMimeData;

namespace vantrel {

// What a drop on the window offers as a design: an image file on this computer, image bytes (an
// image dragged out of a browser or another application), or a link to an image on the web.
struct DroppedDesign {
    enum class Kind { file, imageData, link };

    Kind kind = Kind::file;
    QString location; // the file path or link; for image data the name it is shown under
    QByteArray bytes; // image data only

    static constexpr qsizetype kMaxImageBytes = 256 * 1024 * 1024;
    static const QString kUnnamedImage; // "拖入的图片"

    // None when the drop holds nothing that can become a design.
    static std::optional<DroppedDesign> from(const QMimeData *data);
};

} // namespace vantrel
