#pragma once

#include "design/FigmaReference.h"

#include <QUrl>

#include <optional>

namespace vantrel {

// Where Figma lives: the REST API base and the web base used for links. Both are configurable
// (VANTREL_FIGMA_API_BASE, VANTREL_FIGMA_WEB_BASE) so tests can point them at a local server.
class FigmaEndpoints {
public:
    static const QString kDefaultApiBase; // https://api.figma.com
    static const QString kDefaultWebBase; // https://www.figma.com

    FigmaEndpoints() = default;
    FigmaEndpoints(QUrl apiBase, QUrl webBase);
    // The defaults, overridden by the environment variables when they are set.
    static FigmaEndpoints fromEnvironment();

    const QUrl &apiBase() const { return m_apiBase; }
    const QUrl &webBase() const { return m_webBase; }
    // The Figma web domain: the web base's host without a leading "www.".
    QString webDomain() const;

    // Reads the file key and node of a Figma link; none when the link is not one.
    std::optional<FigmaReference> parseFigmaReference(const QUrl &link) const;

    // Request links below the API base.
    QUrl fileURL(const QString &fileKey) const;                          // /v1/files/KEY?depth=3
    QUrl nodesURL(const QString &fileKey, const QString &nodeID) const;  // /v1/files/KEY/nodes?ids=ID
    QUrl imagesURL(const QString &fileKey, const QString &nodeID) const; // /v1/images/KEY?ids=ID&format=png&scale=2
    // The web link of a node, which parses back to the same key and node.
    QString designLink(const QString &fileKey, const QString &nodeID) const;

private:
    QUrl api(const QString &path, const QString &encodedQuery) const;

    QUrl m_apiBase{kDefaultApiBase};
    QUrl m_webBase{kDefaultWebBase};
};

} // namespace vantrel
