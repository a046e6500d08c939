#pragma once

#include <QDateTime>
#include <QString>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace vantrel {

// Spaces every Figma request of the process. Not a queue: a caller that sleeps holds nothing, so
// callers arriving during a sleep compute their own wait from the same next-request date, and
// each sets it to its own now + the minimum interval when it wakes. Lives on the main thread.
class FigmaRequestThrottle {
public:
    static constexpr std::chrono::milliseconds kMinimumInterval{1200};
    // A wait longer than this fails at once with the rate-limit error instead of freezing the
    // import for minutes or hours after a long refusal.
    static constexpr std::chrono::milliseconds kMaximumWait{120'000};

    static FigmaRequestThrottle &shared();

    // Returns when the caller may send. Throws DesignImportError::figmaRateLimited (with the
    // remaining whole seconds, rounded up) when the wait would exceed the maximum wait.
    QCoro::Task<void> waitForTurn();

    // After a refusal: the next request waits at least until `until` (the later date wins).
    void postpone(const QDateTime &until, std::optional<QString> planTier, std::optional<QString> rateType);

    QDateTime nextRequestDate() const { return m_nextRequestDate; }

    // Seams for tests: shorter spacing or maximum wait, and a fresh state.
    void setMinimumInterval(std::chrono::milliseconds interval) { m_minimumInterval = interval; }
    std::chrono::milliseconds minimumInterval() const { return m_minimumInterval; }
    void setMaximumWait(std::chrono::milliseconds wait) { m_maximumWait = wait; }
    void reset();

private:
    FigmaRequestThrottle() = default;

    QDateTime m_nextRequestDate;  // invalid = the distant past
    QDateTime m_refusalUntil;     // the latest refusal's end; a sleeper re-checks it on waking
    std::optional<QString> m_planTier;
    std::optional<QString> m_rateType;
    std::chrono::milliseconds m_minimumInterval = kMinimumInterval;
    std::chrono::milliseconds m_maximumWait = kMaximumWait;
};

} // namespace vantrel
