#include "devices/ios/MJPEGFrameScanner.h"

#include <QByteArrayView>

#include <algorithm>

namespace vantrel {

namespace {

constexpr char kStartOfImage[] = {'\xFF', '\xD8'};
constexpr char kEndOfImage[] = {'\xFF', '\xD9'};

} // namespace

void MJPEGFrameScanner::append(const QByteArray &bytes)
{
    m_buffer.append(bytes);
}

std::optional<QByteArray> MJPEGFrameScanner::takeFrame()
{
    if (m_startMarker < 0) {
        m_startMarker = m_buffer.indexOf(QByteArrayView(kStartOfImage, 2), m_startSearchFrom);
        if (m_startMarker < 0) {
            // A marker may straddle the end: look at the last byte again next time.
            m_startSearchFrom = std::max<qsizetype>(0, m_buffer.size() - 1);
            return std::nullopt;
        }
        m_endSearchFrom = m_startMarker;
    }
    const qsizetype end = m_buffer.indexOf(QByteArrayView(kEndOfImage, 2), m_endSearchFrom);
    if (end < 0) {
        m_endSearchFrom = std::max(m_startMarker, m_buffer.size() - 1);
        return std::nullopt;
    }
    QByteArray frame = m_buffer.sliced(m_startMarker, end + 2 - m_startMarker);
    m_buffer.remove(0, end + 2);
    m_startSearchFrom = 0;
    m_startMarker = -1;
    m_endSearchFrom = 0;
    return frame;
}

void MJPEGFrameScanner::limitSize()
{
    if (m_buffer.size() <= kBufferLimit)
        return;
    m_buffer = m_buffer.right(kBufferKeep);
    m_startSearchFrom = 0;
    m_startMarker = -1;
    m_endSearchFrom = 0;
}

void MJPEGFrameScanner::clear()
{
    m_buffer.clear();
    m_startSearchFrom = 0;
    m_startMarker = -1;
    m_endSearchFrom = 0;
}

} // namespace vantrel
