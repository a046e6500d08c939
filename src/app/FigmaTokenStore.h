#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include <chrono>

namespace vantrel {

// The Figma personal access token in the system's secure credential store (QtKeychain, service
// "com.halvenro.Vantrel", account "figma-token"). Where no secret service runs, or it does not
// answer in time, the token reads as empty and saving reports false.
class FigmaTokenStore {
public:
    static const QString kService;
    static const QString kAccount;
    static constexpr std::chrono::milliseconds kTimeout{10'000};

    static QCoro::Task<QString> readToken();
    // An empty token removes the entry.
    static QCoro::Task<bool> saveToken(QString token);
};

} // namespace vantrel
