#pragma once

#include "engine/AppError.h"

#include <QString>

#include <exception>

namespace vantrel {

// The user-facing message of any error the workflow catches.
inline QString errorText(const std::exception &error)
{
    if (const auto *app = dynamic_cast<const AppError *>(&error))
        return app->description;
    return QString::fromUtf8(error.what());
}

} // namespace vantrel
