#pragma once

// Helpers shared by the design-import tests.

#include "design/DesignImportError.h"
#include "design/DesignImportTimings.h"
#include "design/FigmaRequestThrottle.h"
#include "engine/ImportedDesign.h"
#include "support/AwaitTask.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestImages.h"

#include <QFile>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel::test {

// Short time limits and pauses, so time-outs and retries take fractions of a second.
inline DesignImportTimings fastTimings()
{
    using namespace std::chrono_literals;
    return DesignImportTimings{.downloadTimeout = 1500ms, .pageTimeout = 1500ms, .downloadRetryDelay = 400ms, .figmaRequestTimeout = 1500ms,
                               .figmaTransportRetryUnit = 150ms};
}

// A fresh process-wide throttle with the given spacing.
inline void resetThrottle(std::chrono::milliseconds interval = std::chrono::milliseconds(20))
{
    FigmaRequestThrottle::shared().reset();
    FigmaRequestThrottle::shared().setMinimumInterval(interval);
}

// What a task ended with, in one line: "name kind WxH source" for a design, the error's text
// otherwise.
template<typename T>
QString outcomeText(const TaskOutcome<T> &outcome)
{
    if (outcome.timedOut)
        return QStringLiteral("(timed out)");
    if (!outcome.value)
        return outcome.error.value_or(QStringLiteral("(no value)"));
    if constexpr (std::is_same_v<T, ImportedDesign>) {
        const ImportedDesign &d = *outcome.value;
        return QStringLiteral("%1 %2 %3x%4 %5").arg(d.name, rawValue(d.kind)).arg(d.pixelSize.width).arg(d.pixelSize.height).arg(d.source);
    }
    return QStringLiteral("(succeeded)");
}

// The requests after the first `from`: method, path, and the token and Accept headers sent.
inline QStringList requestLines(const FakeHttpServer &server, qsizetype from = 0)
{
    QStringList lines;
    const QList<QJsonObject> all = server.requests();
    for (qsizetype i = from; i < all.size(); ++i) {
        const QJsonObject headers = all[i]["headers"].toObject();
        lines << QStringLiteral("  %1 %2 token=%3 accept=%4")
                     .arg(all[i]["method"].toString(), all[i]["path"].toString(), headers["x-figma-token"].toString("-"), headers["accept"].toString());
    }
    return lines;
}

// A JSON object kept in tests/data/design; empty if it cannot be read.
inline QJsonObject designData(const QString &name)
{
    QFile file(dataPath(QStringLiteral("design/") + name));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

// Gives the server its routes; "{base}" in them stands for the server's own address.
inline void serve(FakeHttpServer &server, const QJsonArray &routes)
{
    QByteArray text = QJsonDocument(routes).toJson(QJsonDocument::Compact);
    text.replace("{base}", server.baseUrl().toString().toUtf8());
    server.setScenario(FakeHttpServer::scenario(QJsonDocument::fromJson(text).array()));
}

// Adds headers to a scripted response (the application's tests use it).
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

// A response cut off after its head and the first bytes of its body: a lost connection the network
// stack does not resend itself.
inline QJsonObject cutOff(const QString &contentType, const QString &start)
{
    return QJsonObject{{"status", 200}, {"headers", QJsonObject{{"Content-Type", contentType}, {"Content-Length", "5000"}}},
                       {"chunks", QJsonArray{QJsonObject{{"data", start}}}}};
}

inline QJsonObject png(int w, int h, const QString &type = QStringLiteral("image/png")) { return FakeHttpServer::bytes(200, pngBytes(w, h), type); }

// The API's answers for one node: its tree (files/KEY/nodes) and the link of its rendering (images/KEY).
inline QJsonObject nodeAnswer(const QString &id, const QJsonObject &document)
{
    return FakeHttpServer::json(200, QJsonObject{{"nodes", QJsonObject{{id, QJsonObject{{"document", document}}}}}});
}
inline QJsonObject renderingAnswer(const QString &id, const QJsonValue &link = QStringLiteral("{base}/render.png"))
{
    return FakeHttpServer::json(200, QJsonObject{{"err", QJsonValue::Null}, {"images", QJsonObject{{id, link}}}});
}

inline QJsonObject box(double x, double y, double w, double h) { return QJsonObject{{"x", x}, {"y", y}, {"width", w}, {"height", h}}; }

// A Figma node; its name is "ID-name" unless given.
inline QJsonObject figmaNode(const QString &id, const QString &type, const QJsonObject &bounds, const QJsonArray &children = {},
                             const QString &name = {})
{
    QJsonObject node{{"id", id}, {"type", type}, {"name", name.isEmpty() ? id + QStringLiteral("-name") : name}};
    if (!bounds.isEmpty())
        node.insert("absoluteBoundingBox", bounds);
    if (!children.isEmpty())
        node.insert("children", children);
    return node;
}

} // namespace vantrel::test
