#include "app/AppPreferences.h"

#include "engine/ModelJson.h"

#include <QJsonDocument>

namespace vantrel {

const QString AppPreferences::kDefaultWdaBundleID = QStringLiteral("com.halvenro.Vantrel.WebDriverAgentRunner");

namespace {

const QString kPlatformKey = QStringLiteral("devicePlatform");
const QString kTeamKey = QStringLiteral("appleTeamID");
const QString kBundleKey = QStringLiteral("wdaBundleID");
const QString kSettingsKey = QStringLiteral("comparisonSettings");

std::optional<ComparisonSettings> decodeSettings(const QByteArray &bytes)
{
    try {
        return json::settingsFromJson(json::parseObject(bytes));
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

} // namespace

AppPreferences AppPreferences::read(const QSettings &store)
{
    AppPreferences preferences;
    if (store.value(kPlatformKey).toString() == rawValue(AppPlatform::android))
        preferences.platform = AppPlatform::android;
    if (store.contains(kTeamKey))
        preferences.appleTeamID = store.value(kTeamKey).toString();
    if (store.contains(kBundleKey))
        preferences.wdaBundleID = store.value(kBundleKey).toString();
    if (store.contains(kSettingsKey)) {
        if (auto settings = decodeSettings(store.value(kSettingsKey).toByteArray()))
            preferences.settings = *settings;
    }
    return preferences;
}

void AppPreferences::write(QSettings &store) const
{
    store.setValue(kTeamKey, appleTeamID);
    store.setValue(kBundleKey, wdaBundleID);
    store.setValue(kPlatformKey, rawValue(platform));
    // Settings with a value JSON cannot hold (not finite) are left as they were stored.
    try {
        store.setValue(kSettingsKey, QJsonDocument(json::toJson(settings)).toJson(QJsonDocument::Compact));
    } catch (const JsonEncodeError &) {
    }
    store.sync();
}

} // namespace vantrel
