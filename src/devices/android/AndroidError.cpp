#include "devices/android/AndroidError.h"

#include "devices/android/AndroidDeviceManager.h"
#include "devices/appium/HttpTransportError.h"
#include "engine/JsonDecodeError.h"

namespace vantrel {

AppError AndroidError::make(Code code, const QString &description)
{
    return AppError(AndroidDeviceManager::kErrorDomain, code, description);
}

QString AndroidError::describe(const std::exception &error)
{
    if (const auto *app = dynamic_cast<const AppError *>(&error))
        return app->description;
    if (const auto *transport = dynamic_cast<const HttpTransportError *>(&error))
        return transport->description;
    if (const auto *json = dynamic_cast<const JsonDecodeError *>(&error))
        return json->message;
    return QString::fromUtf8(error.what());
}

} // namespace vantrel
