#pragma once

#include "engine/DesignNode.h"

#include <QImage>
#include <QList>

#include <optional>

namespace vantrel {

enum class DesignSourceKind { local, directURL, figma, codesign, webpage };

QString rawValue(DesignSourceKind kind);
std::optional<DesignSourceKind> designSourceKindFromRaw(const QString &raw);

struct ImportedDesign {
    QImage image;
    QString name;
    QString source;
    DesignSourceKind kind = DesignSourceKind::local;
    SizeValue pixelSize;
    SizeValue canvasSize;
    QList<DesignNode> nodes;
    QList<DesignFrameOption> availableFrames;
    std::optional<QString> selectedFrameID;
    bool isVisualOnly = true;
};

} // namespace vantrel
