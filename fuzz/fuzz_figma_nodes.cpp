// A Figma node (the "document" of a file or nodes reply): every node and frame read from it has a
// finite, non-empty box that survives a trip through the records' JSON.
#include "FuzzCheck.h"

#include "design/FigmaNodes.h"
#include "engine/ModelJson.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument document = QJsonDocument::fromJson(fuzzBytes(data, size));
    if (!document.isObject())
        return 0;
    const QJsonObject root = document.object();
    const std::optional<vantrel::RectValue> box = vantrel::FigmaNodes::bounds(root);
    QList<vantrel::DesignNode> nodes;
    vantrel::FigmaNodes::flattenFigmaNode(root, box ? QPointF(box->x, box->y) : QPointF(), nodes);
    for (const vantrel::DesignNode &node : nodes) {
        FUZZ_CHECK(node.rect.width > 0 && node.rect.height > 0);
        // Encoding throws on a number that is not finite.
        const QByteArray written = vantrel::json::prettyBytes(vantrel::json::toJson(node));
        FUZZ_CHECK(vantrel::json::designNodeFromJson(vantrel::json::parseObject(written)) == node);
    }
    QList<vantrel::DesignFrameOption> frames;
    vantrel::FigmaNodes::collectFrames(root, frames);
    for (const vantrel::DesignFrameOption &frame : frames) {
        const QByteArray written = vantrel::json::prettyBytes(vantrel::json::toJson(frame));
        FUZZ_CHECK(vantrel::json::frameOptionFromJson(vantrel::json::parseObject(written)) == frame);
    }
    vantrel::FigmaNodes::solidColor(root.value(QStringLiteral("fills")));
    return 0;
}
