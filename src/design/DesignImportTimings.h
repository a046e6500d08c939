#pragma once

#include <chrono>

namespace vantrel {

// The time limits and pauses of design import. Tests shorten them; the defaults are the real ones.
struct DesignImportTimings {
    std::chrono::milliseconds downloadTimeout{300'000};
    // A link's first fetch: the HTTP client's usual time-out, so a server that never answers
    // cannot hold an import forever.
    std::chrono::milliseconds pageTimeout{60'000};
    std::chrono::milliseconds downloadRetryDelay{2'000};
    // The most one request may take in all, however steadily its body trickles in.
    std::chrono::milliseconds requestDeadline{600'000};
    std::chrono::milliseconds figmaRequestTimeout{120'000};
    // A Figma request retried after a brief network failure waits this times (attempt + 1).
    std::chrono::milliseconds figmaTransportRetryUnit{1'500};
};

} // namespace vantrel
