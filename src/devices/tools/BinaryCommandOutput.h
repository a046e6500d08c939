#pragma once

#include <QByteArray>
#include <QString>

namespace vantrel {

// What a binary run of a tool hands back (BinaryProcessRunner): standard output byte for byte.
struct BinaryCommandOutput {
    // Exit status of the child (the signal number when a signal ended it); -1 when it could not
    // start; -2 when its time limit ran out (standard error then says "命令执行超时").
    int status = 0;
    // Everything written to standard output, unaltered; empty when the child could not be started.
    QByteArray data;
    // Standard error decoded as UTF-8 (empty when not valid); the start failure's description when
    // the child could not be started.
    QString standardError;

    static constexpr int kNotStarted = -1;

    bool operator==(const BinaryCommandOutput &) const = default;
};

} // namespace vantrel
