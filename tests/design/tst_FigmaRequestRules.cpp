// The rules of Figma requests: links and request addresses, the wait after a refusal and how it is
// told, and the parse-failure excerpt. The other import messages are checked where imports fail.
#include "design/DesignImportError.h"
#include "design/FigmaClient.h"
#include "design/FigmaEndpoints.h"
#include "design/HttpExchange.h"

#include <QUrlQuery>
#include <QtTest>

using namespace vantrel;

class FigmaRequestRulesTest : public QObject {
    Q_OBJECT
private slots:
    void references_data();
    void references();
    void identifiersStayInsideTheirQueryItem();
    void followsConfiguredBases();
    void retryDelay_data();
    void retryDelay();
    void parsesHttpDates();
    void excerptOfUnparsableBodies();
    void readableDurations_data();
    void readableDurations();
    void rateLimitMessages();
};

void FigmaRequestRulesTest::references_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("fileKey"); // empty: not a Figma link
    QTest::addColumn<QString>("nodeID");  // empty: no node
    QTest::newRow("design") << "https://www.figma.com/design/AbC123/Home-Screen?node-id=12-34&t=x" << "AbC123" << "12:34";
    QTest::newRow("capitals") << "https://FIGMA.com/PROTO/KeyZ" << "KeyZ" << "";
    QTest::newRow("empty node") << "https://www.figma.com/Design/k1/x?node-id=" << "k1" << "";
    QTest::newRow("first node wins") << "https://www.figma.com/board/k2?a=b&node-id=1-2-3&node-id=9-9" << "k2" << "1:2:3";
    QTest::newRow("case of the key") << "https://www.figma.com/file/k3/name?Node-Id=5-6" << "k3" << "";
    QTest::newRow("first marker wins") << "https://www.figma.com/team/file/KEY/design/OTHER" << "KEY" << "";
    QTest::newRow("own link") << "https://www.figma.com/design/AbC123?node-id=I12-34;5-6" << "AbC123" << "I12:34;5:6";
    QTest::newRow("recent files") << "https://www.figma.com/files/recent" << "" << "";
    QTest::newRow("no key") << "https://www.figma.com/design/" << "" << "";
    QTest::newRow("other host") << "https://example.com/design/AbC123" << "" << "";
    QTest::newRow("no host") << "/design/AbC123" << "" << "";
}

void FigmaRequestRulesTest::references()
{
    QFETCH(QString, link);
    QFETCH(QString, fileKey);
    QFETCH(QString, nodeID);
    const auto reference = FigmaEndpoints().parseFigmaReference(QUrl(link));
    QCOMPARE(reference.has_value(), !fileKey.isEmpty());
    if (reference) {
        QCOMPARE(reference->fileKey, fileKey);
        QCOMPARE(reference->nodeID.value_or(QString()), nodeID);
    }
}

void FigmaRequestRulesTest::identifiersStayInsideTheirQueryItem()
{
    const FigmaEndpoints endpoints;
    QCOMPARE(endpoints.designLink(QStringLiteral("AbC123"), QStringLiteral("I12:34;5:6")),
             QStringLiteral("https://www.figma.com/design/AbC123?node-id=I12-34;5-6"));
    const QUrl hostile = endpoints.nodesURL(QStringLiteral("a/b?c"), QStringLiteral("1:2&ids=9 x"));
    QCOMPARE(hostile.toString(QUrl::FullyEncoded), QStringLiteral("https://api.figma.com/v1/files/a%2Fb%3Fc/nodes?ids=1:2%26ids=9%20x"));
    QCOMPARE(QUrlQuery(hostile).queryItemValue(QStringLiteral("ids"), QUrl::FullyDecoded), QStringLiteral("1:2&ids=9 x"));
}

void FigmaRequestRulesTest::followsConfiguredBases()
{
    qputenv("VANTREL_FIGMA_API_BASE", "http://127.0.0.1:9/api/");
    qputenv("VANTREL_FIGMA_WEB_BASE", "http://design.local:8");
    const FigmaEndpoints endpoints = FigmaEndpoints::fromEnvironment();
    qunsetenv("VANTREL_FIGMA_API_BASE");
    qunsetenv("VANTREL_FIGMA_WEB_BASE");
    QCOMPARE(endpoints.fileURL(QStringLiteral("K")).toString(), QStringLiteral("http://127.0.0.1:9/api/v1/files/K?depth=3"));
    const QString link = endpoints.designLink(QStringLiteral("K"), QStringLiteral("1:2"));
    QCOMPARE(link, QStringLiteral("http://design.local:8/design/K?node-id=1-2"));
    QCOMPARE(endpoints.parseFigmaReference(QUrl(link))->nodeID, std::optional<QString>(QStringLiteral("1:2")));
    QVERIFY(!endpoints.parseFigmaReference(QUrl(QStringLiteral("https://www.figma.com/design/K"))));
}

void FigmaRequestRulesTest::retryDelay_data()
{
    QTest::addColumn<QByteArray>("retryAfter"); // "-": absent
    QTest::addColumn<QByteArray>("reset");      // "-": absent
    QTest::addColumn<int>("attempt");
    QTest::addColumn<int>("seconds");
    // Now is 2026-03-01 12:00:00.400 UTC, 1772366400.4 seconds after the epoch.
    QTest::newRow("zero") << QByteArray("0") << QByteArray("-") << 0 << 1;
    QTest::newRow("spaced") << QByteArray("  45 \r\n") << QByteArray("-") << 0 << 45;
    QTest::newRow("plus") << QByteArray("+7") << QByteArray("-") << 0 << 7;
    QTest::newRow("negative") << QByteArray("-20") << QByteArray("-") << 0 << 1;
    QTest::newRow("date, fraction dropped") << QByteArray("Sun, 01 Mar 2026 12:01:31 GMT") << QByteArray("-") << 0 << 90;
    QTest::newRow("past date") << QByteArray("Sun, 01 Mar 2026 11:00:00 GMT") << QByteArray("-") << 0 << 1;
    QTest::newRow("word") << QByteArray("soon") << QByteArray("-") << 2 << 30;
    QTest::newRow("fraction") << QByteArray("1.5") << QByteArray("-") << 0 << 5;
    QTest::newRow("reset") << QByteArray("-") << QByteArray("1772366500") << 0 << 99;
    QTest::newRow("reset with fraction") << QByteArray("-") << QByteArray("1772366500.9") << 0 << 100;
    QTest::newRow("past reset") << QByteArray("-") << QByteArray("1600000000") << 0 << 1;
    QTest::newRow("retry-after wins") << QByteArray("3") << QByteArray("1772366500") << 0 << 3;
    QTest::newRow("reset not a number") << QByteArray("-") << QByteArray("1772366500s") << 3 << 60;
    QTest::newRow("infinite reset") << QByteArray("-") << QByteArray("inf") << 3 << 60;
    const int table[] = {5, 12, 30, 60, 120, 120};
    for (int attempt = 0; attempt < 6; ++attempt)
        QTest::addRow("attempt %d", attempt) << QByteArray("-") << QByteArray("-") << attempt << table[attempt];
    QTest::newRow("negative attempt") << QByteArray("-") << QByteArray("-") << -3 << 5;
}

void FigmaRequestRulesTest::retryDelay()
{
    QFETCH(QByteArray, retryAfter);
    QFETCH(QByteArray, reset);
    QFETCH(int, attempt);
    QFETCH(int, seconds);
    const auto header = [](const QByteArray &value) { return value == "-" ? std::nullopt : std::optional<QByteArray>(value); };
    const QDateTime now(QDate(2026, 3, 1), QTime(12, 0, 0, 400), Qt::UTC);
    QCOMPARE(FigmaClient::figmaRetryDelay(header(retryAfter), header(reset), attempt, now), seconds);
    HttpResponse response;
    response.status = 429;
    if (retryAfter != "-")
        response.headers.append({"retry-after", retryAfter});
    if (reset != "-")
        response.headers.append({"x-ratelimit-reset", reset});
    QCOMPARE(FigmaClient::figmaRetryDelay(response, attempt, now), seconds);
}

void FigmaRequestRulesTest::parsesHttpDates()
{
    QCOMPARE(FigmaClient::parseHttpDate(QStringLiteral("Sun, 06 Nov 1994 08:49:37 GMT")),
             std::optional<QDateTime>(QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC)));
    QVERIFY(!FigmaClient::parseHttpDate(QStringLiteral("Sunday, 06-Nov-94 08:49:37 GMT")));
    QVERIFY(!FigmaClient::parseHttpDate(QStringLiteral("Sun, 31 Feb 1994 08:49:37 GMT")));
    QVERIFY(!FigmaClient::parseHttpDate(QStringLiteral("Sun, 06 Nov 1994 08:49:37 PST")));
}

void FigmaRequestRulesTest::excerptOfUnparsableBodies()
{
    // 300 bytes of valid UTF-8: exactly the first 240 are kept.
    const QByteArray ascii = QByteArray("{broken ") + QByteArray(292, 'x');
    QCOMPARE(FigmaClient::bodyExcerpt(ascii), QString::fromLatin1(ascii.left(240)));
    // A three-byte character cut at byte 240 counts as not decoding.
    const QByteArray cut = QByteArray(239, 'a') + QByteArray("\xe4\xb8\xad") + QByteArray(10, 'b');
    QCOMPARE(FigmaClient::bodyExcerpt(cut), QStringLiteral("二进制数据"));
    const QByteArray whole = QByteArray(237, 'a') + QByteArray("\xe4\xb8\xad") + QByteArray(10, 'b');
    QCOMPARE(FigmaClient::bodyExcerpt(whole), QString(237, QLatin1Char('a')) + QStringLiteral("中"));
}

void FigmaRequestRulesTest::readableDurations_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("59") << qint64(59) << QStringLiteral("59 秒");
    QTest::newRow("60") << qint64(60) << QStringLiteral("1 分钟");
    QTest::newRow("3599") << qint64(3599) << QStringLiteral("59 分钟");
    QTest::newRow("3600") << qint64(3600) << QStringLiteral("1 小时 0 分钟");
    QTest::newRow("86399") << qint64(86399) << QStringLiteral("23 小时 59 分钟");
    QTest::newRow("86400") << qint64(86400) << QStringLiteral("1 天 0 小时");
    QTest::newRow("2d3h") << qint64(2 * 86400 + 3 * 3600 + 59) << QStringLiteral("2 天 3 小时");
}

void FigmaRequestRulesTest::readableDurations()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(readableDuration(seconds), text);
}

void FigmaRequestRulesTest::rateLimitMessages()
{
    QCOMPARE(DesignImportError::figmaRateLimited(std::nullopt, std::nullopt, std::nullopt).errorDescription(),
             QStringLiteral("Figma API 请求过于频繁，请稍后重试"));
    QCOMPARE(DesignImportError::figmaRateLimited(45, QStringLiteral("pro"), std::nullopt).errorDescription(),
             QStringLiteral("Figma API 请求过于频繁，请等待约 45 秒 后重试"));
    QCOMPARE(DesignImportError::figmaRateLimited(300, std::nullopt, std::nullopt).errorDescription(),
             QStringLiteral("Figma API 请求过于频繁，请等待约 5 分钟 后重试"));
    const DesignImportError long1 = DesignImportError::figmaRateLimited(3700, QStringLiteral("professional"), std::nullopt);
    QCOMPARE(long1.errorDescription(),
             QStringLiteral("Figma Professional 套餐的 API 当前额度已耗尽，预计 1 小时 1 分钟 后恢复。"
                            "可升级 Figma 套餐，或先从 Figma 导出 PNG/JPG，再通过“导入图片”继续对比。"));
    QCOMPARE(long1.seconds(), std::optional<qint64>(3700));
    const DesignImportError long2 =
        DesignImportError::figmaRateLimited(301, QStringLiteral("oRG pLUS"), QStringLiteral("low"));
    QCOMPARE(long2.errorDescription(),
             QStringLiteral("Figma Org Plus 套餐的 API low额度已耗尽，预计 5 分钟 后恢复。"
                            "可升级 Figma 套餐，或先从 Figma 导出 PNG/JPG，再通过“导入图片”继续对比。"));
    const DesignImportError noPlan = DesignImportError::figmaRateLimited(90000, std::nullopt, std::nullopt);
    QVERIFY(noPlan.errorDescription().startsWith(QStringLiteral("Figma 当前 套餐的 API 当前额度已耗尽，预计 1 天 1 小时 后恢复。")));
}

QTEST_GUILESS_MAIN(FigmaRequestRulesTest)
#include "tst_FigmaRequestRules.moc"
