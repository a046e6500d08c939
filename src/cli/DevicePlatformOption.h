#pragma once

#include "engine/Selectors.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace vantrel::cli {

// The --platform switch shared by the device commands: "android" or "ios" (any letter case).
QCommandLineOption platformOption();
// The chosen platform; CliError when the switch is missing or names something else.
AppPlatform requiredPlatform(const QCommandLineParser &parser);
// The arguments of the listing commands (devices, diagnose): --platform and --json, nothing else.
struct PlatformListingArguments {
    AppPlatform platform;
    bool json;
};
PlatformListingArguments parsePlatformListing(const QStringList &arguments, const QString &usage);

// The error for a platform a command does not support yet.
[[noreturn]] void unsupportedPlatform(AppPlatform platform);

} // namespace vantrel::cli
