#pragma once

#include "design/DesignImportTimings.h"
#include "design/FigmaClient.h"
#include "design/FigmaEndpoints.h"
#include "design/FigmaReference.h"
#include "design/ProgressCallback.h"
#include "engine/ImportedDesign.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>

namespace vantrel {

// Turns a link into an ImportedDesign: a Figma link through the Figma REST API (node tree and
// frames included), a direct image link, or a web page's preview image. Holds only its network
// access (one long-lived QNetworkAccessManager) and configuration; every import is independent.
// Failures throw DesignImportError, except a transport failure of a link's first fetch, which
// throws TransportError.
class DesignImporter {
public:
    static const QString kDefaultDesignName; // "在线设计稿"
    static const QString kDefaultFigmaName;  // "Figma 画板"

    explicit DesignImporter(FigmaEndpoints endpoints = FigmaEndpoints::fromEnvironment(),
                            DesignImportTimings timings = {});
    DesignImporter(const DesignImporter &) = delete;
    DesignImporter &operator=(const DesignImporter &) = delete;

    const FigmaEndpoints &endpoints() const { return m_figma.endpoints(); }
    std::optional<FigmaReference> parseFigmaReference(const QUrl &link) const
    {
        return endpoints().parseFigmaReference(link);
    }

    // The link entry: trims, parses and routes the link.
    QCoro::Task<ImportedDesign> importURL(QString text, QString figmaToken,
                                          std::optional<QString> selectedNodeID = std::nullopt,
                                          ProgressCallback progress = {});

    // The Figma import of one frame (the selected node, the link's node or the file's first frame).
    QCoro::Task<ImportedDesign> importFigma(FigmaReference reference, QString token,
                                            std::optional<QString> selectedNodeID = std::nullopt,
                                            ProgressCallback progress = {});

    // The frames of a Figma file, depth-first.
    QCoro::Task<QList<DesignFrameOption>> fetchFigmaFrames(QString fileKey, QString token, ProgressCallback progress = {});

    // A non-Figma link: an image response, else the page's preview image.
    QCoro::Task<ImportedDesign> importWebImage(QUrl link);

    // The body of an image link ("Accept: image/*", 300-second time-out, one retry after a brief
    // network failure).
    QCoro::Task<QByteArray> download(QUrl link);

    // A visual-only design of a fetched image.
    static ImportedDesign webDesign(const QImage &image, const QString &source, DesignSourceKind kind);

    // Decodes fetched bytes; none when they are not an image. An image too large to decode safely
    // throws DesignImportError::invalidResponse naming its size.
    static std::optional<QImage> decodeImage(const QByteArray &bytes);

private:
    QNetworkAccessManager m_network;
    FigmaClient m_figma;
    DesignImportTimings m_timings;
};

} // namespace vantrel
