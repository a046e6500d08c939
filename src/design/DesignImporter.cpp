#include "design/DesignImporter.h"

#include "design/DesignImportError.h"
#include "design/HttpExchange.h"
#include "engine/PreciseSleep.h"
#include "design/TransportError.h"
#include "design/WebPagePreview.h"
#include "engine/ImageFileReader.h"
#include "engine/ImageHelpers.h"

#include <qcoro/qcorotimer.h>

namespace vantrel {

const QString DesignImporter::kDefaultDesignName = QStringLiteral("在线设计稿");
const QString DesignImporter::kDefaultFigmaName = QStringLiteral("Figma 画板");

namespace {

bool hostMentionsCodesign(const QUrl &link)
{
    return link.host().contains(QLatin1String("codesign"), Qt::CaseInsensitive);
}

// The last path component of a link without its (last) extension.
QString nameFromLink(const QUrl &link)
{
    QString path = link.path(QUrl::FullyDecoded);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return name;
}

} // namespace

DesignImporter::DesignImporter(FigmaEndpoints endpoints, DesignImportTimings timings)
    : m_figma(&m_network, std::move(endpoints), timings)
    , m_timings(timings)
{
}

ImportedDesign DesignImporter::webDesign(const QImage &image, const QString &source, DesignSourceKind kind)
{
    ImportedDesign design;
    design.image = image;
    const QUrl link(source, QUrl::StrictMode);
    const QString name = link.isValid() ? nameFromLink(link) : QString();
    design.name = name.isEmpty() ? kDefaultDesignName : name;
    design.source = source;
    design.kind = kind;
    design.pixelSize = pixelSizeValue(image);
    design.canvasSize = design.pixelSize;
    design.isVisualOnly = true;
    return design;
}

std::optional<QImage> DesignImporter::decodeImage(const QByteArray &bytes)
{
    try {
        return ImageFileReader::readBytes(bytes);
    } catch (const ImageReadError &error) {
        if (error.reason == ImageReadError::Reason::tooLarge)
            throw DesignImportError::invalidResponse(error.message);
        return std::nullopt;
    }
}

QCoro::Task<QByteArray> DesignImporter::download(QUrl link)
{
    QNetworkRequest request(link);
    request.setRawHeader("Accept", "image/*,*/*;q=0.8");
    request.setTransferTimeout(int(m_timings.downloadTimeout.count()));

    for (int attempt = 0;; ++attempt) {
        std::optional<TransportError> failure;
        HttpResponse response;
        try {
            response = co_await HttpExchange::get(&m_network, request, m_timings.requestDeadline);
        } catch (const TransportError &error) {
            failure = error;
        }
        if (failure) {
            if (attempt == 0 && failure->isBrief()) {
                co_await PreciseSleep::atLeast(m_timings.downloadRetryDelay);
                continue;
            }
            throw DesignImportError::network(failure->description());
        }
        if (response.isHttp()) {
            if (!response.isSuccess())
                throw DesignImportError::http(*response.status);
            if (response.body.isEmpty())
                throw DesignImportError::invalidResponse(kEmptyImageResponseText);
        }
        co_return response.body;
    }
}

QCoro::Task<ImportedDesign> DesignImporter::importURL(QString text, QString figmaToken,
                                                      std::optional<QString> selectedNodeID, ProgressCallback progress)
{
    const QString trimmed = text.trimmed();
    const QUrl link(trimmed, QUrl::StrictMode);
    if (trimmed.isEmpty() || !link.isValid())
        throw DesignImportError::invalidURL();

    if (const std::optional<FigmaReference> reference = parseFigmaReference(link)) {
        if (figmaToken.isEmpty())
            throw DesignImportError::missingFigmaToken();
        co_return co_await importFigma(*reference, figmaToken, selectedNodeID, progress);
    }
    co_return co_await importWebImage(link);
}

QCoro::Task<ImportedDesign> DesignImporter::importWebImage(QUrl link)
{
    const bool codesign = hostMentionsCodesign(link);
    const QString source = link.toString(QUrl::FullyEncoded);

    // A plain GET: no extra headers, the client's usual time-out. Transport errors pass unchanged.
    QNetworkRequest request(link);
    request.setTransferTimeout(int(m_timings.pageTimeout.count()));
    const HttpResponse response = co_await HttpExchange::get(&m_network, request, m_timings.requestDeadline);
    if (!response.isHttp())
        throw DesignImportError::invalidResponse(kNoHttpResponseText);
    if (!response.isSuccess())
        throw DesignImportError::http(*response.status);

    const QByteArray contentType = response.header("Content-Type").toLower();
    if (contentType.startsWith("image/")) {
        if (const std::optional<QImage> image = decodeImage(response.body))
            co_return webDesign(*image, source, codesign ? DesignSourceKind::codesign : DesignSourceKind::directURL);
    }

    const std::optional<QUrl> imageLink = WebPagePreview::openGraphImageURL(WebPagePreview::pageText(response.body, response.header("Content-Type")), link);
    if (!imageLink)
        throw DesignImportError::webpageImageNotFound();
    const QByteArray bytes = co_await download(*imageLink);
    const std::optional<QImage> image = decodeImage(bytes);
    if (!image)
        throw DesignImportError::unsupportedImage();
    co_return webDesign(*image, source, codesign ? DesignSourceKind::codesign : DesignSourceKind::webpage);
}

} // namespace vantrel
