// Figma links and request addresses, the wait after a refusal, and the parse-failure excerpt.
#include "design/FigmaClient.h"
#include "design/FigmaEndpoints.h"
#include "design/HttpExchange.h"

#include <QUrlQuery>
#include <QtTest>

using namespace vantrel;

namespace {
std::optional<FigmaReference> parse(const QString &link)
{
    return FigmaEndpoints().parseFigmaReference(QUrl(link));
}
} // namespace

class FigmaLinksTest : public QObject {
    Q_OBJECT
private slots:
    void parsesReferences();
    void rejectsOtherLinks();
    void buildsRequestAddresses();
    void designLinkParsesBack();
    void followsConfiguredBases();
    void retryDelayFromRetryAfter();
    void retryDelayFromResetAndAttempts();
    void parsesHttpDates();
    void excerptOfUnparsableBodies();
};

void FigmaLinksTest::parsesReferences()
{
    const auto reference = parse(QStringLiteral("https://www.figma.com/design/AbC123/Home-Screen?node-id=12-34&t=x"));
    QVERIFY(reference);
    QCOMPARE(reference->fileKey, QStringLiteral("AbC123"));
    QCOMPARE(reference->nodeID, std::optional<QString>(QStringLiteral("12:34")));

    const auto upper = parse(QStringLiteral("https://FIGMA.com/PROTO/KeyZ"));
    QVERIFY(upper);
    QCOMPARE(upper->fileKey, QStringLiteral("KeyZ"));
    QCOMPARE(upper->nodeID, std::nullopt);
    QCOMPARE(parse(QStringLiteral("https://www.figma.com/Design/k1/x?node-id="))->nodeID, std::nullopt);
    QCOMPARE(parse(QStringLiteral("https://www.figma.com/board/k2?a=b&node-id=1-2-3&node-id=9-9"))->nodeID,
             std::optional<QString>(QStringLiteral("1:2:3")));
    QCOMPARE(parse(QStringLiteral("https://www.figma.com/file/k3/name?Node-Id=5-6"))->nodeID, std::nullopt);
    // The first marker wins, wherever it stands.
    QCOMPARE(parse(QStringLiteral("https://www.figma.com/team/file/KEY/design/OTHER"))->fileKey, QStringLiteral("KEY"));
}

void FigmaLinksTest::rejectsOtherLinks()
{
    QVERIFY(!parse(QStringLiteral("https://www.figma.com/files/recent")));
    QVERIFY(!parse(QStringLiteral("https://www.figma.com/design/")));
    QVERIFY(!parse(QStringLiteral("https://www.figma.com/design")));
    QVERIFY(!parse(QStringLiteral("https://example.com/design/AbC123")));
    QVERIFY(!parse(QStringLiteral("/design/AbC123")));
}

void FigmaLinksTest::buildsRequestAddresses()
{
    const FigmaEndpoints endpoints;
    QCOMPARE(endpoints.fileURL(QStringLiteral("K")).toString(QUrl::FullyEncoded),
             QStringLiteral("https://api.figma.com/v1/files/K?depth=3"));
    QCOMPARE(endpoints.nodesURL(QStringLiteral("K"), QStringLiteral("12:34")).toString(QUrl::FullyEncoded),
             QStringLiteral("https://api.figma.com/v1/files/K/nodes?ids=12:34"));
    QCOMPARE(endpoints.imagesURL(QStringLiteral("K"), QStringLiteral("12:34")).toString(QUrl::FullyEncoded),
             QStringLiteral("https://api.figma.com/v1/images/K?ids=12:34&format=png&scale=2"));
    // Identifiers cannot smuggle extra query items or path segments.
    const QUrl hostile = endpoints.nodesURL(QStringLiteral("a/b?c"), QStringLiteral("1:2&ids=9 x"));
    QCOMPARE(hostile.toString(QUrl::FullyEncoded), QStringLiteral("https://api.figma.com/v1/files/a%2Fb%3Fc/nodes?ids=1:2%26ids=9%20x"));
    QCOMPARE(QUrlQuery(hostile).queryItemValue(QStringLiteral("ids"), QUrl::FullyDecoded), QStringLiteral("1:2&ids=9 x"));
}

void FigmaLinksTest::designLinkParsesBack()
{
    const FigmaEndpoints endpoints;
    const QString link = endpoints.designLink(QStringLiteral("AbC123"), QStringLiteral("I12:34;5:6"));
    QCOMPARE(link, QStringLiteral("https://www.figma.com/design/AbC123?node-id=I12-34;5-6"));
    const auto reference = endpoints.parseFigmaReference(QUrl(link));
    QVERIFY(reference);
    QCOMPARE(reference->fileKey, QStringLiteral("AbC123"));
    QCOMPARE(reference->nodeID, std::optional<QString>(QStringLiteral("I12:34;5:6")));
}

void FigmaLinksTest::followsConfiguredBases()
{
    qputenv("VANTREL_FIGMA_API_BASE", "http://127.0.0.1:9/api/");
    qputenv("VANTREL_FIGMA_WEB_BASE", "http://design.local:8");
    const FigmaEndpoints endpoints = FigmaEndpoints::fromEnvironment();
    qunsetenv("VANTREL_FIGMA_API_BASE");
    qunsetenv("VANTREL_FIGMA_WEB_BASE");
    QCOMPARE(endpoints.fileURL(QStringLiteral("K")).toString(), QStringLiteral("http://127.0.0.1:9/api/v1/files/K?depth=3"));
    QCOMPARE(endpoints.webDomain(), QStringLiteral("design.local"));
    const QString link = endpoints.designLink(QStringLiteral("K"), QStringLiteral("1:2"));
    QCOMPARE(link, QStringLiteral("http://design.local:8/design/K?node-id=1-2"));
    QCOMPARE(endpoints.parseFigmaReference(QUrl(link))->nodeID, std::optional<QString>(QStringLiteral("1:2")));
    QVERIFY(!endpoints.parseFigmaReference(QUrl(QStringLiteral("https://www.figma.com/design/K"))));
    QCOMPARE(FigmaEndpoints::fromEnvironment().webDomain(), QStringLiteral("figma.com"));
}

void FigmaLinksTest::retryDelayFromRetryAfter()
{
    const QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(12, 0, 0, 400), Qt::UTC);
    auto delay = [&](const char *retryAfter, int attempt = 0) {
        return FigmaClient::figmaRetryDelay(QByteArray(retryAfter), std::nullopt, attempt, now);
    };
    QCOMPARE(delay("0"), 1);
    QCOMPARE(delay("30"), 30);
    QCOMPARE(delay("  45 \r\n"), 45);
    QCOMPARE(delay("+7"), 7);
    QCOMPARE(delay("-20"), 1);
    // 90.6 seconds ahead of now: the fraction is dropped.
    QCOMPARE(delay("Sun, 01 Mar 2026 12:01:31 GMT"), 90);
    QCOMPARE(delay("Sun, 01 Mar 2026 11:00:00 GMT"), 1);
    // Neither an integer nor a date: the attempt table decides.
    QCOMPARE(delay("soon", 2), 30);
    QCOMPARE(delay("", 1), 12);
    QCOMPARE(delay("1.5", 0), 5);
}

void FigmaLinksTest::retryDelayFromResetAndAttempts()
{
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(1'700'000'000'250, Qt::UTC);
    QCOMPARE(FigmaClient::figmaRetryDelay(std::nullopt, QByteArray("1700000100"), 0, now), 99);
    QCOMPARE(FigmaClient::figmaRetryDelay(std::nullopt, QByteArray("1700000100.9"), 0, now), 100);
    QCOMPARE(FigmaClient::figmaRetryDelay(std::nullopt, QByteArray("1600000000"), 0, now), 1);
    // Retry-After wins over the reset time.
    QCOMPARE(FigmaClient::figmaRetryDelay(QByteArray("3"), QByteArray("1700000100"), 0, now), 3);
    // Texts that are not wholly numbers, and infinities, fall through to the table.
    QCOMPARE(FigmaClient::figmaRetryDelay(std::nullopt, QByteArray("1700000100s"), 3, now), 60);
    QCOMPARE(FigmaClient::figmaRetryDelay(std::nullopt, QByteArray("inf"), 3, now), 60);
    QCOMPARE(FigmaClient::figmaRetryDelay(std::nullopt, QByteArray("nan"), 0, now), 5);
    const int table[] = {5, 12, 30, 60, 120, 120};
    for (int attempt = 0; attempt < 6; ++attempt)
        QCOMPARE(FigmaClient::figmaRetryDelay(std::nullopt, std::nullopt, attempt, now), table[attempt]);
    QCOMPARE(FigmaClient::figmaRetryDelay(std::nullopt, std::nullopt, -3, now), 5);

    HttpResponse response;
    response.status = 429;
    response.headers = {{"retry-after", "17"}};
    QCOMPARE(FigmaClient::figmaRetryDelay(response, 0, now), 17);
}

void FigmaLinksTest::parsesHttpDates()
{
    QCOMPARE(FigmaClient::parseHttpDate(QStringLiteral("Sun, 06 Nov 1994 08:49:37 GMT")),
             std::optional<QDateTime>(QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC)));
    QVERIFY(!FigmaClient::parseHttpDate(QStringLiteral("Sunday, 06-Nov-94 08:49:37 GMT")));
    QVERIFY(!FigmaClient::parseHttpDate(QStringLiteral("Sun, 31 Feb 1994 08:49:37 GMT")));
    QVERIFY(!FigmaClient::parseHttpDate(QStringLiteral("Sun, 06 Nov 1994 08:49:37 PST")));
}

void FigmaLinksTest::excerptOfUnparsableBodies()
{
    // 300 bytes of valid UTF-8: exactly the first 240 are kept.
    const QByteArray ascii = QByteArray("{broken ") + QByteArray(292, 'x');
    QCOMPARE(ascii.size(), 300);
    QCOMPARE(FigmaClient::bodyExcerpt(ascii), QString::fromLatin1(ascii.left(240)));
    // A three-byte character cut at byte 240 counts as not decoding.
    const QByteArray cut = QByteArray(239, 'a') + QByteArray("\xe4\xb8\xad") + QByteArray(10, 'b');
    QCOMPARE(FigmaClient::bodyExcerpt(cut), QStringLiteral("二进制数据"));
    const QByteArray whole = QByteArray(237, 'a') + QByteArray("\xe4\xb8\xad") + QByteArray(10, 'b');
    QCOMPARE(FigmaClient::bodyExcerpt(whole), QString(237, QLatin1Char('a')) + QStringLiteral("中"));
    QCOMPARE(FigmaClient::bodyExcerpt(QByteArray("\xff\xfe\x00", 3)), QStringLiteral("二进制数据"));
    QCOMPARE(FigmaClient::bodyExcerpt(QByteArray()), QString());
}

QTEST_GUILESS_MAIN(FigmaLinksTest)
#include "tst_FigmaLinks.moc"
