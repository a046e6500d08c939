#include "devices/DeviceManagerBase.h"

#include "devices/GraphemeText.h"

namespace vantrel {

DeviceManagerBase::DeviceManagerBase(QObject *parent)
    : QObject(parent)
{
}

void DeviceManagerBase::setSelectedDeviceID(const std::optional<QString> &deviceID)
{
    if (m_selectedDeviceID == deviceID)
        return;
    m_selectedDeviceID = deviceID;
    emit selectedDeviceIDChanged();
}

void DeviceManagerBase::setConnectionState(const DeviceConnectionState &state)
{
    if (m_connectionState == state)
        return;
    m_connectionState = state;
    emit connectionStateChanged();
}

void DeviceManagerBase::setLiveImage(const std::optional<QImage> &image)
{
    if (!image && !m_liveImage)
        return;
    m_liveImage = image;
    emit liveImageChanged();
}

void DeviceManagerBase::setElements(const QList<DeviceElement> &elements, const QString &source)
{
    m_elements = elements;
    m_elementSource = source;
    emit elementsChanged();
}

void DeviceManagerBase::setDiagnostics(const QList<EnvironmentCheck> &lines)
{
    m_diagnostics = lines;
    emit diagnosticsChanged();
}

void DeviceManagerBase::appendLog(const QString &text)
{
    if (text.isEmpty())
        return;
    m_logText += text;
    // A text of at most kLogLimit code units has at most kLogLimit user-perceived characters.
    if (m_logText.size() > kLogLimit)
        m_logText = GraphemeText::right(m_logText, kLogLimit);
    emit logTextChanged();
}

EnvironmentCheck DeviceManagerBase::diagnosticsLine(const QString &name, const QString &detail,
                                                    EnvironmentCheck::Level level)
{
    EnvironmentCheck line;
    line.name = name;
    line.detail = detail;
    line.level = level;
    return line;
}

} // namespace vantrel
