#pragma once

#include "devices/android/AndroidDeviceManager.h"
#include "support/AndroidFixture.h"

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
        for (const QMetaObject::Connection &connection : m_connections)
            QObject::disconnect(connection);
    }
    AndroidTranscript(const AndroidTranscript &) = delete;
    AndroidTranscript &operator=(const AndroidTranscript &) = delete;

    // Records the changes of `manager` from now on.
    void watch(AndroidDeviceManager &manager);
    void step(const QString &title);
    void note(const QString &line) { m_text += QStringLiteral("  ") + QString(line).replace(u'\n', QStringLiteral("\\n")) + u'\n'; }
    template<typename T>
    void outcome(const TaskOutcome<T> &outcome) { note(describe(outcome)); }
    // "ok", or "error CODE: TEXT".
    template<typename T>
    static QString describe(const TaskOutcome<T> &outcome)
    {
        return outcome.succeeded() ? QStringLiteral("ok")
                                   : QStringLiteral("error %1: %2").arg(appErrorCode(outcome.exception)).arg(outcome.error.value_or(QString()));
    }
    // The text so far, with each of `replacements` (what, by what, what, ...) replaced.
    QString text(const QStringList &replacements = {});

private:
    FakeAdb &m_adb;
    QString m_text;
    qsizetype m_seenCalls = 0;
    QList<QMetaObject::Connection> m_connections; // a watched manager may outlive the transcript
};

} // namespace vantrel::test
