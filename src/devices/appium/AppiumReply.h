#pragma once

#include <QByteArray>

namespace vantrel {

// An HTTP reply from an Appium or WebDriverAgent server: its status code and its whole body.
struct AppiumReply {
    int statusCode = 0;
    QByteArray body;

    bool isSuccess() const { return statusCode >= 200 && statusCode <= 299; }

    bool operator==(const AppiumReply &) const = default;
};

} // namespace vantrel
