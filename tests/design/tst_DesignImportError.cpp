// The rate-limit messages of the design import and the readable durations they use; the other
// messages are checked where the import fails end to end.
#include "design/DesignImportError.h"

#include <QtTest>

using namespace vantrel;

class DesignImportErrorTest : public QObject {
    Q_OBJECT
private slots:
    void readableDurations_data();
    void readableDurations();
    void rateLimitMessages();
};

void DesignImportErrorTest::readableDurations_data()
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

void DesignImportErrorTest::readableDurations()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(readableDuration(seconds), text);
}

void DesignImportErrorTest::rateLimitMessages()
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

QTEST_GUILESS_MAIN(DesignImportErrorTest)
#include "tst_DesignImportError.moc"
