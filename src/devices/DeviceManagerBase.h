#pragma once

#include "engine/DeviceConnectionState.h"
#include "engine/DeviceElement.h"
#include "engine/EnvironmentCheck.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace vantrel {

// The observable fields the Android and the iPhone device managers have in common: the selected
// device, the connection state, the live image, the element tree with the text it was read from,
// the diagnostics lines and the log. Every field has a getter and a change signal; the device
// list itself is kept by each manager (its records differ), its signal is declared here.
class DeviceManagerBase : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kLogLimit = 50'000; // user-perceived characters

    const std::optional<QString> &selectedDeviceID() const { return m_selectedDeviceID; }
    void setSelectedDeviceID(const std::optional<QString> &deviceID);
    const DeviceConnectionState &connectionState() const { return m_connectionState; }
    const std::optional<QImage> &liveImage() const { return m_liveImage; }
    const QList<DeviceElement> &elements() const { return m_elements; }
    const QList<EnvironmentCheck> &diagnostics() const { return m_diagnostics; }
    const QString &logText() const { return m_logText; }

    // Appends text unchanged; keeps the last kLogLimit user-perceived characters.
    void appendLog(const QString &text);

signals:
    void devicesChanged();
    void selectedDeviceIDChanged();
    void connectionStateChanged();
    void liveImageChanged();
    void elementsChanged();
    void diagnosticsChanged();
    void logTextChanged();

protected:
    explicit DeviceManagerBase(QObject *parent = nullptr);

    void setConnectionState(const DeviceConnectionState &state);
    void setLiveImage(const std::optional<QImage> &image);
    // Replaces the element tree and the text it was read from; always signals.
    void setElements(const QList<DeviceElement> &elements, const QString &source = {});
    // The text `elements` was read from.
    const QString &elementSource() const { return m_elementSource; }
    void setDiagnostics(const QList<EnvironmentCheck> &lines);

    // One diagnostics line.
    static EnvironmentCheck diagnosticsLine(const QString &name, const QString &detail, EnvironmentCheck::Level level);

    std::optional<QString> m_selectedDeviceID;
    DeviceConnectionState m_connectionState;
    std::optional<QImage> m_liveImage;
    QList<DeviceElement> m_elements;

private:
    QString m_elementSource;
    QList<EnvironmentCheck> m_diagnostics;
    QString m_logText;
};

} // namespace vantrel
