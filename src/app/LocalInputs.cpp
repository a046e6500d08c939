#include "app/LocalInputs.h"

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

} // namespace vantrel
