#pragma once

#include <QByteArray>

#include <optional>

namespace vantrel {

// Cuts complete JPEG images out of a growing byte stream without reading any multipart framing:
// a frame runs from the first start-of-image marker (FF D8) to the first end-of-image marker
// (FF D9) at or after it. Bytes before the frame (boundaries, part headers) are consumed with it.
//
// Not thread-safe: the owner serialises access.
class MJPEGFrameScanner {
public:
    // When, after extraction, more than kBufferLimit bytes are pending, only the last kBufferKeep stay.
    static constexpr qsizetype kBufferLimit = 0x1000000; // 16 MiB
    static constexpr qsizetype kBufferKeep = 0x200000;   // 2 MiB

    void append(const QByteArray &bytes);
    // The next complete frame, removed from the buffer together with everything before it; none
    // when no complete frame is buffered.
    std::optional<QByteArray> takeFrame();
    // Applies the buffer limit; call after taking every complete frame.
    void limitSize();
    void clear();

    qsizetype size() const { return m_buffer.size(); }
    const QByteArray &buffer() const { return m_buffer; }

private:
    QByteArray m_buffer;
    // Searches resume where the previous one gave up, so a frame arriving in many chunks is not
    // rescanned from the start for every chunk. Bytes are only ever appended between searches.
    qsizetype m_startSearchFrom = 0;
    qsizetype m_startMarker = -1;
    qsizetype m_endSearchFrom = 0;
};

} // namespace vantrel
