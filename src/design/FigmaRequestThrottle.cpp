#include "design/FigmaRequestThrottle.h"

#include "design/DesignImportError.h"
#include "engine/PreciseSleep.h"

namespace vantrel {

namespace {
qint64 millisecondsUntil(const QDateTime &date, const QDateTime &now)
{
    return date.isValid() ? now.msecsTo(date) : 0;
}
} // namespace

FigmaRequestThrottle &FigmaRequestThrottle::shared()
{
    static FigmaRequestThrottle throttle;
    return throttle;
}

void FigmaRequestThrottle::reset()
{
    m_nextRequestDate = {};
    m_refusalUntil = {};
    m_planTier.reset();
    m_rateType.reset();
    m_minimumInterval = kMinimumInterval;
    m_maximumWait = kMaximumWait;
}

void FigmaRequestThrottle::postpone(const QDateTime &until, std::optional<QString> planTier,
                                    std::optional<QString> rateType)
{
    if (!m_nextRequestDate.isValid() || until > m_nextRequestDate)
        m_nextRequestDate = until;
    if (!m_refusalUntil.isValid() || until > m_refusalUntil) {
        m_refusalUntil = until;
        m_planTier = std::move(planTier);
        m_rateType = std::move(rateType);
    }
}

QCoro::Task<void> FigmaRequestThrottle::waitForTurn()
{
    for (;;) {
        const qint64 wait = millisecondsUntil(m_nextRequestDate, QDateTime::currentDateTimeUtc());
        if (wait > m_maximumWait.count()) {
            const qint64 seconds = (wait + 999) / 1000;
            throw DesignImportError::figmaRateLimited(seconds, m_planTier, m_rateType);
        }
        if (wait > 0)
            co_await PreciseSleep::atLeast(std::chrono::milliseconds(wait));
        // A refusal seen by another request while we slept still holds.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (millisecondsUntil(m_refusalUntil, now) > 0)
            continue;
        // The clock reads whole milliseconds: one more keeps the spacing from falling short.
        m_nextRequestDate = now.addMSecs(m_minimumInterval.count() + 1);
        co_return;
    }
}

} // namespace vantrel
