#pragma once

// Realistic inputs for the comparison benchmarks: the bundled example screens scaled to the
// requested device width (design at two thirds of it, as a 2x export against a 3x screenshot),
// and element trees of a given size.
#include "engine/Models.h"

#include <QImage>

namespace vantrel::bench {

inline QImage exampleImage(const char *name)
{
    return QImage(QStringLiteral(VANTREL_SOURCE_DIR "/examples/") + QLatin1String(name));
}

inline CapturedDeviceState deviceAt(int width, int height, int elementCount)
{
    CapturedDeviceState device;
    device.image = exampleImage("checkout-device.png").scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    device.screenSize = SizeValue{393, 852};
    for (int i = 0; i < elementCount; ++i) {
        DeviceElement e;
        e.id = QString::number(i);
        e.type = QStringLiteral("XCUIElementTypeStaticText");
        e.label = QStringLiteral("商品标题 %1 降噪蓝牙耳机").arg(i);
        e.rect = RectValue(10 + (i % 10) * 37, 20 + (i / 10) * 27, 34, 22);
        device.elements.append(e);
    }
    return device;
}

inline ImportedDesign designAt(int width, int height, int nodeCount)
{
    ImportedDesign design;
    design.image = exampleImage("checkout-design.png").scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    design.name = QStringLiteral("checkout-design");
    design.kind = DesignSourceKind::figma;
    design.pixelSize = pixelSizeValue(design.image);
    design.canvasSize = SizeValue{393, 852};
    design.isVisualOnly = nodeCount == 0;
    for (int i = 0; i < nodeCount; ++i) {
        DesignNode n;
        n.id = QStringLiteral("1:%1").arg(i);
        n.name = QStringLiteral("Text %1").arg(i);
        n.type = QStringLiteral("TEXT");
        n.text = QStringLiteral("商品标题 %1 降噪耳机").arg(299 - i);
        n.rect = RectValue(12 + (i % 10) * 37, 21 + (i / 10) * 27, 33, 22);
        n.fillHex = QStringLiteral("#FF4D4F");
        design.nodes.append(n);
    }
    return design;
}

} // namespace vantrel::bench
