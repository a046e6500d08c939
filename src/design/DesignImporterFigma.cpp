#include "design/DesignImporter.h"

#include "design/DesignImportError.h"
#include "design/FigmaNodes.h"
#include "engine/ImageHelpers.h"

#include <QJsonArray>

namespace vantrel {

namespace {

// object[key] when it is an object; otherwise none.
std::optional<QJsonObject> objectAt(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

} // namespace

QCoro::Task<QList<DesignFrameOption>> DesignImporter::fetchFigmaFrames(QString fileKey, QString token,
                                                                       ProgressCallback progress)
{
    const QJsonObject file = co_await m_figma.figmaJSON(endpoints().fileURL(fileKey), token, progress);
    const std::optional<QJsonObject> document = objectAt(file, QStringLiteral("document"));
    if (!document)
        throw DesignImportError::invalidResponse(kMissingDocumentText);
    QList<DesignFrameOption> frames;
    FigmaNodes::collectFrames(*document, frames);
    co_return frames;
}

QCoro::Task<ImportedDesign> DesignImporter::importFigma(FigmaReference reference, QString token,
                                                        std::optional<QString> selectedNodeID, ProgressCallback progress)
{
    std::optional<QString> target = selectedNodeID ? selectedNodeID : reference.nodeID;
    QList<DesignFrameOption> frames;
    if (!target) {
        frames = co_await fetchFigmaFrames(reference.fileKey, token, progress);
        if (frames.isEmpty())
            throw DesignImportError::figmaNodeNotFound();
        target = frames.first().id;
    }
    const QString nodeID = *target;

    const QJsonObject nodesResponse = co_await m_figma.figmaJSON(endpoints().nodesURL(reference.fileKey, nodeID), token, progress);
    std::optional<QJsonObject> document;
    if (const std::optional<QJsonObject> nodes = objectAt(nodesResponse, QStringLiteral("nodes"))) {
        if (const std::optional<QJsonObject> entry = objectAt(*nodes, nodeID))
            document = objectAt(*entry, QStringLiteral("document"));
    }
    if (!document)
        throw DesignImportError::figmaNodeNotFound();

    const std::optional<RectValue> frameRect = FigmaNodes::bounds(*document);
    SizeValue frameSize;
    if (frameRect) {
        frameSize = SizeValue{frameRect->width, frameRect->height};
    } else {
        for (const DesignFrameOption &frame : frames) {
            if (frame.id == nodeID) {
                frameSize = frame.size;
                break;
            }
        }
    }
    const QPointF origin = frameRect ? QPointF(frameRect->x, frameRect->y) : QPointF(0, 0);
    QList<DesignNode> nodes;
    FigmaNodes::flattenFigmaNode(*document, origin, nodes);

    const QJsonObject imagesResponse =
        co_await m_figma.figmaJSON(endpoints().imagesURL(reference.fileKey, nodeID), token, progress);
    std::optional<QUrl> renderingLink;
    if (const std::optional<QJsonObject> images = objectAt(imagesResponse, QStringLiteral("images"))) {
        const QJsonValue entry = images->value(nodeID);
        if (entry.isString()) {
            const QUrl parsed(entry.toString(), QUrl::StrictMode);
            if (parsed.isValid() && !entry.toString().isEmpty())
                renderingLink = parsed;
        }
    }
    if (!renderingLink)
        throw DesignImportError::invalidResponse(kFigmaNoRenderingText);

    const QByteArray bytes = co_await download(*renderingLink);
    const std::optional<QImage> rendering = decodeImage(bytes);
    if (!rendering)
        throw DesignImportError::unsupportedImage();

    ImportedDesign design;
    design.image = *rendering;
    design.name = kDefaultFigmaName;
    bool named = false;
    for (const DesignFrameOption &frame : frames) {
        if (frame.id == nodeID) {
            design.name = frame.name;
            named = true;
            break;
        }
    }
    if (!named && document->value(QStringLiteral("name")).isString())
        design.name = document->value(QStringLiteral("name")).toString();
    design.source = endpoints().designLink(reference.fileKey, nodeID);
    design.kind = DesignSourceKind::figma;
    design.pixelSize = pixelSizeValue(*rendering);
    design.canvasSize = frameSize.width > 0 ? frameSize : design.pixelSize;
    design.nodes = std::move(nodes);
    design.availableFrames = frames;
    design.selectedFrameID = nodeID;
    design.isVisualOnly = false;
    co_return design;
}

} // namespace vantrel
