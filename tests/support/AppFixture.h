#pragma once

#include "app/AppState.h"
#include "support/AwaitTask.h"
#include "support/FakeAdb.h"
#include "support/TestEnvironment.h"
#include "support/TestImages.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <functional>
#include <memory>

namespace vantrel::test {

// The windows as the application state sees them: choosers answer from a script, every call is
// recorded (beside the state's messages, see AppFixture), the inspector is a plain object.
class FakeWindows : public UserInterfaceServices {
public:
    std::optional<QString> nextPath; // what the next chooser answers (none: cancelled)
    QStringList calls; // "open:TITLE", "save:TITLE:NAME", "reveal:PATH", "inspector", "raise", "status: …", "alert: …"

    std::optional<QString> chooseFileToOpen(const QString &title, FileType) override
    {
        calls << QStringLiteral("open:") + title;
        return nextPath;
    }
    std::optional<QString> chooseFileToSave(const QString &title, const QString &name, FileType) override
    {
        calls << QStringLiteral("save:%1:%2").arg(title, name);
        return nextPath;
    }
    void revealFile(const QString &path) override { calls << QStringLiteral("reveal:") + path; }
    QObject *openInspectorWindow() override
    {
        calls << QStringLiteral("inspector");
        return new QObject;
    }
    void raiseWindow(QObject *) override { calls << QStringLiteral("raise"); }
};

// One application state in a temporary home, with the fake adb listing one phone, no iOS tools,
// no Appium and no keychain.
struct AppFixture {
    static inline const QString kSerial = QStringLiteral("R58N12");

    TemporaryHome home;
    FakeAdb adb;
    FakeWindows windows;
    std::unique_ptr<AppState> state;

    AppFixture()
    {
        qputenv("VANTREL_SHELL", "/bin/false");
        qputenv("VANTREL_XCRUN", "/nonexistent/xcrun");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        qunsetenv("VANTREL_APPIUM");
        // Qt fixes the preference folder at its first use: point it at this home.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.filePath(QStringLiteral(".config")));
        adb.on({QStringLiteral("devices"), QStringLiteral("-l")},
               {FakeAdb::reply(QStringLiteral("List of devices attached\n") + kSerial +
                               QStringLiteral(" device model:Pixel_8\n"))});
        adb.on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("device\n"))});
        adb.on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(108, 240, Qt::red))});
        adb.on(FakeAdb::dump(kSerial), {FakeAdb::reply(QStringLiteral("dumped\n"))});
        adb.on(FakeAdb::readDump(kSerial), {FakeAdb::reply(QStringLiteral("<hierarchy rotation=\"0\"/>"))});
    }

    // A new state, once both managers have listed their devices (no iPhone, one Android phone).
    AppState &start(std::optional<QString> historyRoot = std::nullopt)
    {
        state = std::make_unique<AppState>(&windows, AppState::Options{historyRoot, false});
        const auto settled = [this] {
            return state->device().connectionState().kind == DeviceConnectionState::Kind::failed &&
                   state->android().connectionState().kind == DeviceConnectionState::Kind::idle;
        };
        if (!waitFor(settled))
            qWarning("device discovery did not settle");
        state->setAlertMessage(std::nullopt);
        QObject::connect(state.get(), &AppState::statusMessageChanged,
                         [this] { windows.calls << QStringLiteral("status: ") + state->statusMessage(); });
        QObject::connect(state.get(), &AppState::alertMessageChanged, [this] {
            if (state->alertMessage())
                windows.calls << QStringLiteral("alert: ") + *state->alertMessage();
        });
        return *state;
    }

    // A PNG file in the temporary home.
    QString imageFile(const QString &name, QColor color, int width = 108, int height = 240) const
    {
        return writeFile(home.filePath(name), pngBytes(width, height, color));
    }

    // The calls and messages so far (from start() on) as one text, with the home folder, ports and
    // times made constant.
    QString transcript() const
    {
        static const QRegularExpression varying(QStringLiteral("127\\.0\\.0\\.1:\\d+|\\d\\d-\\d\\d \\d\\d:\\d\\d|\\d{8}-\\d{6}"));
        return windows.calls.join(u'\n').replace(home.path(), QStringLiteral("~")).replace(varying, QStringLiteral("#")) + u'\n';
    }

    static bool waitFor(const std::function<bool()> &condition, int limitMs = 20'000)
    {
        return QTest::qWaitFor(condition, limitMs);
    }
    // Runs a comparison to its end.
    bool compare()
    {
        state->runComparison();
        return waitFor([this] { return !state->isBusy(); });
    }
};

} // namespace vantrel::test
