#include "support/AndroidTranscript.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace vantrel::test {

void AndroidTranscript::watch(AndroidDeviceManager &manager)
{
    AndroidDeviceManager *m = &manager;
    m_connections << QObject::connect(m, &DeviceManagerBase::connectionStateChanged, m, [this, m] {
        static const char *const kinds[] = {"idle", "preparing", "connected", "failed"};
        const QString message = m->connectionState().message;
        note(u"state: "_s + QLatin1String(kinds[int(m->connectionState().kind)]) + (message.isEmpty() ? u""_s : u' ' + message));
    });
    m_connections << QObject::connect(m, &DeviceManagerBase::selectedDeviceIDChanged, m,
                     [this, m] { note(u"selected: "_s + m->selectedDeviceID().value_or(u"none"_s)); });
    m_connections << QObject::connect(m, &DeviceManagerBase::elementsChanged, m, [this, m] {
        note(u"elements: %1 %2"_s.arg(m->elements().size()).arg(m->elements().isEmpty() ? QString() : m->elements().last().id).trimmed());
    });
    m_connections << QObject::connect(m, &AndroidDeviceManager::lastCaptureWarningChanged, m,
                     [this, m] { note(u"warning: "_s + m->lastCaptureWarning().value_or(u"none"_s)); });
    m_connections << QObject::connect(m, &DeviceManagerBase::logTextChanged, m, [this, m, logged = m->logText().size()]() mutable {
        const QString added = m->logText().mid(logged);
        logged = m->logText().size();
        // Line by line: a server's output arrives in pieces of any size. (Ending spaces are cut.)
        for (const QString &line : added.split(u'\n', Qt::SkipEmptyParts))
            note(u"log: "_s + QString(line).remove(QRegularExpression(u"\\s+$"_s)));
    });
}

void AndroidTranscript::step(const QString &title)
{
    text();
    m_text += u"> "_s + title + u'\n';
}

QString AndroidTranscript::text(const QStringList &replacements)
{
    const QList<QStringList> calls = m_adb.calls();
    QStringList listed;
    for (qsizetype i = m_seenCalls; i < calls.size(); ++i) {
        if (!calls[i].contains(u"screencap"_s) && !listed.contains(calls[i].join(u' ')))
            listed.append(calls[i].join(u' '));
    }
    m_seenCalls = calls.size();
    for (const QString &call : listed)
        note(u"adb "_s + call);
    QString result = m_text;
    for (qsizetype i = 0; i + 1 < replacements.size(); i += 2)
        result.replace(replacements[i], replacements[i + 1]);
    return result;
}

} // namespace vantrel::test
