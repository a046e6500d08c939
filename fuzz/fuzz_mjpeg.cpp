// The MJPEG frame scanner fed the stream in chunks whose sizes come from the input itself: the
// frames it cuts are exactly those of a plain scan of the whole stream, whatever the chunking.
#include "FuzzCheck.h"

#include "devices/ios/MJPEGFrameScanner.h"

#include <QList>

namespace {

// Frames of the whole stream: from each start marker (FF D8) to the next end marker (FF D9).
QList<QByteArray> plainScan(const QByteArray &stream)
{
    QList<QByteArray> frames;
    qsizetype from = 0;
    for (;;) {
        const qsizetype start = stream.indexOf("\xFF\xD8", from);
        if (start < 0)
            return frames;
        const qsizetype end = stream.indexOf("\xFF\xD9", start);
        if (end < 0)
            return frames;
        frames.append(stream.mid(start, end + 2 - start));
        from = end + 2;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte seeds the chunk sizes (1 to 64 bytes); the rest is the stream.
    quint32 state = data[0] + 1u;
    const QByteArray stream = fuzzBytes(data + 1, size - 1);

    vantrel::MJPEGFrameScanner scanner;
    QList<QByteArray> frames;
    for (qsizetype at = 0; at < stream.size();) {
        state = state * 1103515245u + 12345u;
        const qsizetype chunk = std::min<qsizetype>(1 + (state >> 16) % 64, stream.size() - at);
        scanner.append(stream.mid(at, chunk));
        at += chunk;
        while (const std::optional<QByteArray> frame = scanner.takeFrame())
            frames.append(*frame);
        scanner.limitSize();
        FUZZ_CHECK(scanner.size() <= vantrel::MJPEGFrameScanner::kBufferLimit);
    }
    FUZZ_CHECK(frames == plainScan(stream));
    return 0;
}
