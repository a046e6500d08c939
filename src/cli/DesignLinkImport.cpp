#include "cli/DesignLinkImport.h"

#include "app/FigmaTokenStore.h"
#include "cli/CliSupport.h"
#include "design/DesignImporter.h"

#include <QEventLoop>
#include <QUrl>

#include <exception>
#include <memory>

namespace vantrel::cli {

namespace {

struct ImportOutcome {
    std::optional<ImportedDesign> design;
    std::exception_ptr failure;
    QEventLoop *loop = nullptr;
};

QCoro::Task<void> runImport(DesignImporter *importer, QString link, QString token, std::shared_ptr<ImportOutcome> outcome)
{
    try {
        outcome->design = co_await importer->importURL(link, token, std::nullopt,
                                                       [](const QString &step) { printLine(step); });
    } catch (...) {
        outcome->failure = std::current_exception();
    }
    if (outcome->loop)
        outcome->loop->quit();
}

} // namespace

bool isLink(const QString &text)
{
    const QString scheme = QUrl(text.trimmed()).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

ImportedDesign importDesignLink(const QString &link)
{
    DesignImporter importer;
    // The token is only needed for Figma links; the keychain is not consulted for other links.
    QString token;
    if (importer.parseFigmaReference(QUrl(link.trimmed())))
        token = FigmaTokenStore::tokenForCommandLine();

    printLine(QStringLiteral("正在导入设计稿：") + link.trimmed());
    auto outcome = std::make_shared<ImportOutcome>();
    QEventLoop loop;
    outcome->loop = &loop;
    runImport(&importer, link, token, outcome);
    if (!outcome->design && !outcome->failure)
        loop.exec();
    outcome->loop = nullptr;
    if (outcome->failure)
        std::rethrow_exception(outcome->failure);
    return *outcome->design;
}

} // namespace vantrel::cli
