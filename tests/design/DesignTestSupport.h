#pragma once

// Helpers shared by the design-import tests.

#include "design/DesignImportError.h"
#include "design/DesignImportTimings.h"
#include "design/FigmaRequestThrottle.h"
#include "design/TransportError.h"
#include "support/AwaitTask.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QJsonObject>

#include <optional>

namespace vantrel::test {

// Short time limits and pauses, so time-outs and retries take fractions of a second.
inline DesignImportTimings fastTimings()
{
    DesignImportTimings timings;
    timings.downloadTimeout = std::chrono::milliseconds(1500);
    timings.downloadRetryDelay = std::chrono::milliseconds(400);
    timings.pageTimeout = std::chrono::milliseconds(1500);
    timings.figmaRequestTimeout = std::chrono::milliseconds(1500);
    timings.figmaTransportRetryUnit = std::chrono::milliseconds(150);
    return timings;
}

// A fresh process-wide throttle with the given spacing.
inline void resetThrottle(std::chrono::milliseconds interval = std::chrono::milliseconds(20))
{
    FigmaRequestThrottle::shared().reset();
    FigmaRequestThrottle::shared().setMinimumInterval(interval);
}

// The exception a task ended with, when it is an `Error`.
template<typename Error, typename T>
std::optional<Error> errorOf(const TaskOutcome<T> &outcome)
{
    if (!outcome.exception)
        return std::nullopt;
    try {
        std::rethrow_exception(outcome.exception);
    } catch (const Error &error) {
        return error;
    } catch (...) {
        return std::nullopt;
    }
}

template<typename T>
std::optional<DesignImportError> importErrorOf(const TaskOutcome<T> &outcome)
{
    return errorOf<DesignImportError>(outcome);
}

template<typename T>
std::optional<TransportError> transportErrorOf(const TaskOutcome<T> &outcome)
{
    return errorOf<TransportError>(outcome);
}

inline QJsonObject withHeaders(QJsonObject response, const QJsonObject &headers)
{
    QJsonObject merged = response.value(QStringLiteral("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        merged.insert(it.key(), it.value());
    response.insert(QStringLiteral("headers"), merged);
    return response;
}

inline QJsonObject delayed(QJsonObject response, int delayMs)
{
    response.insert(QStringLiteral("delayMs"), delayMs);
    return response;
}

} // namespace vantrel::test
