#include "app/LocalInputs.h"

#include "engine/ImageFileReader.h"

#include <QFileInfo>

namespace vantrel {

ImportedDesign LocalInputs::localDesign(const QImage &image, const QString &path)
{
    ImportedDesign design;
    design.image = image;
    design.name = QFileInfo(path).completeBaseName();
    design.source = path;
    design.kind = DesignSourceKind::local;
    design.pixelSize = pixelSizeValue(image);
    design.canvasSize = design.pixelSize;
    design.isVisualOnly = true;
    return design;
}

CapturedDeviceState LocalInputs::offlineCapture(const QImage &image)
{
    return CapturedDeviceState{image, {}, pixelSizeValue(image)};
}

ImportedDesign LocalInputs::readDesignFile(const QString &path)
{
    return localDesign(ImageFileReader::readFile(path), path);
}

CapturedDeviceState LocalInputs::readScreenshotFile(const QString &path)
{
    return offlineCapture(ImageFileReader::readFile(path));
}

} // namespace vantrel
