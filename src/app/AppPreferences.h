#pragma once

#include "engine/ComparisonSettings.h"
#include "engine/Selectors.h"

#include <QSettings>
#include <QString>

#include <optional>

namespace vantrel {

// The user's preferences in the per-user preference store (QSettings of organisation "halvenro",
// application "Vantrel"): the platform, the WebDriverAgent signing fields and the comparison
// settings. The Figma token is never written here; it lives in FigmaTokenStore.
struct AppPreferences {
    static const QString kDefaultWdaBundleID;

    AppPlatform platform = AppPlatform::ios;
    QString appleTeamID;
    QString wdaBundleID = kDefaultWdaBundleID;
    ComparisonSettings settings;

    // Reads what is stored over the defaults: "Android" (exactly) selects Android, anything else
    // iOS; a present text key replaces its default even when empty; comparison settings that do
    // not decode leave the defaults, silently.
    static AppPreferences read(const QSettings &store);
    // Writes the team ID, the bundle ID, the platform and the encoded settings, in that order.
    void write(QSettings &store) const;
};

} // namespace vantrel
