#pragma once

#include "devices/android/AndroidDeviceManager.h"
#include "support/AndroidFixture.h"

#include <QRegularExpression>
#include <QStringList>

namespace vantrel::test {

// What Android managers show while a test drives them, as text to compare with an expected
// transcript: each step's title, then the changes of state, selection, elements, capture warning
// and log it caused, its notes and outcomes, and the adb calls it made (each once, in the order of
// their first call). Screenshots are left out of the calls: the live loop takes them at its own pace.
class AndroidTranscript {
public:
    explicit AndroidTranscript(FakeAdb &adb) : m_adb(adb) {}
    ~AndroidTranscript()
    {
        for (const QMetaObject::Connection &connection : m_connections) // a manager may outlive this
            QObject::disconnect(connection);
    }
    AndroidTranscript(const AndroidTranscript &) = delete;
    AndroidTranscript &operator=(const AndroidTranscript &) = delete;

    // Records the changes of `manager` from now on.
    void watch(AndroidDeviceManager &manager)
    {
        AndroidDeviceManager *m = &manager;
        const auto on = [&](auto signal, auto describe) { m_connections << QObject::connect(m, signal, m, [this, describe] { note(describe()); }); };
        on(&DeviceManagerBase::connectionStateChanged, [m] {
            static const char *const kinds[] = {"idle", "preparing", "connected", "failed"};
            const QString message = m->connectionState().message;
            return QStringLiteral("state: ") + QLatin1String(kinds[int(m->connectionState().kind)]) + (message.isEmpty() ? QString() : u' ' + message);
        });
        on(&DeviceManagerBase::selectedDeviceIDChanged, [m] { return QStringLiteral("selected: ") + m->selectedDeviceID().value_or(QStringLiteral("none")); });
        on(&DeviceManagerBase::elementsChanged, [m] {
            return QStringLiteral("elements: %1 %2").arg(m->elements().size()).arg(m->elements().isEmpty() ? QString() : m->elements().last().id).trimmed();
        });
        on(&AndroidDeviceManager::lastCaptureWarningChanged,
           [m] { return QStringLiteral("warning: ") + m->lastCaptureWarning().value_or(QStringLiteral("none")); });
        m_connections << QObject::connect(m, &DeviceManagerBase::logTextChanged, m, [this, m, logged = m->logText().size()]() mutable {
            const QString added = m->logText().mid(logged);
            logged = m->logText().size();
            // Line by line: a server's output arrives in pieces of any size. (Ending spaces are cut.)
            for (const QString &line : added.split(u'\n', Qt::SkipEmptyParts))
                note(QStringLiteral("log: ") + QString(line).remove(QRegularExpression(QStringLiteral("\\s+$"))));
        });
    }
    void step(const QString &title)
    {
        text();
        m_text += QStringLiteral("> ") + title + u'\n';
    }
    void note(const QString &line) { m_text += QStringLiteral("  ") + QString(line).replace(u'\n', QStringLiteral("\\n")) + u'\n'; }
    template<typename T>
    void outcome(const TaskOutcome<T> &outcome) { note(describe(outcome)); }
    // "ok", "timed out", or "error CODE: TEXT".
    template<typename T>
    static QString describe(const TaskOutcome<T> &outcome)
    {
        if (outcome.timedOut)
            return QStringLiteral("timed out");
        return outcome.succeeded() ? QStringLiteral("ok")
                                   : QStringLiteral("error %1: %2").arg(appErrorCode(outcome.exception)).arg(outcome.error.value_or(QString()));
    }
    // The text so far, with each of `replacements` (what, by what, what, ...) replaced.
    QString text(const QStringList &replacements = {})
    {
        const QList<QStringList> calls = m_adb.calls();
        QStringList listed;
        for (qsizetype i = m_seenCalls; i < calls.size(); ++i) {
            if (!calls[i].contains(QStringLiteral("screencap")) && !listed.contains(calls[i].join(u' ')))
                listed.append(calls[i].join(u' '));
        }
        m_seenCalls = calls.size();
        for (const QString &call : listed)
            note(QStringLiteral("adb ") + call);
        QString result = m_text;
        for (qsizetype i = 0; i + 1 < replacements.size(); i += 2)
            result.replace(replacements[i], replacements[i + 1]);
        return result;
    }

private:
    FakeAdb &m_adb;
    QString m_text;
    qsizetype m_seenCalls = 0;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace vantrel::test
