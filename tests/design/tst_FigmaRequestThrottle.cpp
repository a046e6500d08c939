// The process-wide spacing of Figma requests: spacing, not a queue, refusals, the bounded wait.
#include "DesignTestSupport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <qcoro/qcorotimer.h>

#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

// Waits for a turn and reports when it came, in ms after `clock` started.
QCoro::Task<qint64> turnAt(const QElapsedTimer *clock, std::chrono::milliseconds startAfter = 0ms)
{
    if (startAfter > 0ms)
        co_await QCoro::sleepFor(startAfter);
    co_await FigmaRequestThrottle::shared().waitForTurn();
    co_return clock->elapsed();
}

QCoro::Task<QList<qint64>> turnsTogether(const QElapsedTimer *clock, QList<std::chrono::milliseconds> starts)
{
    std::vector<QCoro::Task<qint64>> tasks;
    for (const auto start : starts)
        tasks.push_back(turnAt(clock, start));
    QList<qint64> times;
    for (auto &task : tasks)
        times.append(co_await std::move(task));
    co_return times;
}

} // namespace

class FigmaRequestThrottleTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetThrottle(300ms); }
    void cleanupTestCase() { FigmaRequestThrottle::shared().reset(); }

    void spacesSequentialRequests();
    void sleepersDoNotQueue();
    void laterPostponementWins();
    void refusalDuringASleepHolds();
    void overlongWaitFailsAtOnce();
};

void FigmaRequestThrottleTest::spacesSequentialRequests()
{
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(FigmaRequestThrottle::shared().minimumInterval(), 300ms);
    const qint64 first = awaitTask(turnAt(&clock)).value.value();
    QVERIFY(first < 250);
    const qint64 second = awaitTask(turnAt(&clock)).value.value();
    const qint64 third = awaitTask(turnAt(&clock)).value.value();
    // Never early: the spacing is a rule, not an estimate.
    QVERIFY2(second - first >= 300, qPrintable(QString::number(second - first)));
    QVERIFY2(third - second >= 300, qPrintable(QString::number(third - second)));
    const QDateTime next = FigmaRequestThrottle::shared().nextRequestDate();
    QVERIFY(next > QDateTime::currentDateTimeUtc());
    QVERIFY(next <= QDateTime::currentDateTimeUtc().addMSecs(301));
}

void FigmaRequestThrottleTest::sleepersDoNotQueue()
{
    resetThrottle(600ms);
    QElapsedTimer clock;
    clock.start();
    // The first takes its turn at once; the next two arrive during the spacing and both wake at
    // the same moment, instead of one after the other.
    const TaskOutcome<QList<qint64>> outcome = awaitTask(turnsTogether(&clock, {0ms, 50ms, 100ms}));
    QVERIFY(outcome.succeeded());
    const QList<qint64> times = *outcome.value;
    QVERIFY2(times[1] >= 540 && times[2] >= 540, qPrintable(QStringLiteral("%1 %2").arg(times[1]).arg(times[2])));
    QVERIFY2(std::abs(times[2] - times[1]) < 400, qPrintable(QStringLiteral("%1 %2").arg(times[1]).arg(times[2])));
}

void FigmaRequestThrottleTest::laterPostponementWins()
{
    FigmaRequestThrottle &throttle = FigmaRequestThrottle::shared();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    throttle.postpone(now.addMSecs(900), QStringLiteral("pro"), std::nullopt);
    throttle.postpone(now.addMSecs(300), std::nullopt, std::nullopt);
    QCOMPARE(throttle.nextRequestDate(), now.addMSecs(900));
    QElapsedTimer clock;
    clock.start();
    const qint64 turn = awaitTask(turnAt(&clock)).value.value();
    QVERIFY2(turn >= 800, qPrintable(QString::number(turn)));
}

void FigmaRequestThrottleTest::refusalDuringASleepHolds()
{
    QElapsedTimer clock;
    clock.start();
    awaitTask(turnAt(&clock));
    // A second caller sleeps out the spacing; meanwhile another request is refused for 1 s.
    QTimer::singleShot(100, [] {
        FigmaRequestThrottle::shared().postpone(QDateTime::currentDateTimeUtc().addMSecs(1000), std::nullopt, std::nullopt);
    });
    const qint64 turn = awaitTask(turnAt(&clock)).value.value();
    QVERIFY2(turn >= 1000, qPrintable(QString::number(turn)));
}

void FigmaRequestThrottleTest::overlongWaitFailsAtOnce()
{
    FigmaRequestThrottle::shared().postpone(QDateTime::currentDateTimeUtc().addSecs(600), QStringLiteral("organization"),
                                            QStringLiteral("high"));
    QElapsedTimer clock;
    clock.start();
    const TaskOutcome<qint64> outcome = awaitTask(turnAt(&clock));
    const std::optional<DesignImportError> error = importErrorOf(outcome);
    QVERIFY(error);
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(error->kind(), DesignImportError::Kind::figmaRateLimited);
    QVERIFY2(*error->seconds() >= 595 && *error->seconds() <= 600, qPrintable(QString::number(*error->seconds())));
    QCOMPARE(error->planTier(), std::optional<QString>("organization"));
    QVERIFY(error->errorDescription().startsWith(QStringLiteral("Figma Organization 套餐的 API high额度已耗尽，预计 ")));

    // A wait within the bound is slept out; the bound is a seam.
    resetThrottle(20ms);
    FigmaRequestThrottle::shared().setMaximumWait(200ms);
    FigmaRequestThrottle::shared().postpone(QDateTime::currentDateTimeUtc().addMSecs(400), std::nullopt, std::nullopt);
    QVERIFY(importErrorOf(awaitTask(turnAt(&clock))));
    FigmaRequestThrottle::shared().setMaximumWait(FigmaRequestThrottle::kMaximumWait);
    QVERIFY(awaitTask(turnAt(&clock)).succeeded());
}

QTEST_GUILESS_MAIN(FigmaRequestThrottleTest)
#include "tst_FigmaRequestThrottle.moc"
