// The settings window against a real application state in a temporary home: edits reach the state
// and the stored preferences, changes made elsewhere show without echo, the ignored regions, the
// diagnostics of the current platform, and the accessible names.
#include "support/FindControl.h"
#include "support/AppFixture.h"
#include "ui/SettingsWindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QDoubleSpinBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace vantrel;
using vantrel::test::control;
using namespace vantrel::test;

namespace {

QSettings preferences() { return QSettings(QStringLiteral("halvenro"), QStringLiteral("Vantrel")); }

// A stored preference; "comparisonSettings/KEY" reads one key of the stored settings.
QVariant stored(const QString &key)
{
    const QStringList path = key.split(QLatin1Char('/'));
    const QVariant value = preferences().value(path[0]);
    if (path.size() == 1)
        return value;
    return QJsonDocument::fromJson(value.toByteArray()).object().value(path[1]).toVariant();
}

// The texts of the labels not hidden themselves (whichever tab they are on).
QStringList visibleLabels(QWidget &root)
{
    QStringList texts;
    for (QLabel *label : root.findChildren<QLabel *>())
        if (!label->isHidden())
            texts << label->text();
    return texts;
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_window = std::make_unique<SettingsWindow>(m_fixture->start());
        m_window->show();
    }
    void cleanup()
    {
        m_window.reset();
        m_fixture.reset();
    }

    void editsReachStateAndPreferences_data();
    void editsReachStateAndPreferences();
    void followsChangesMadeElsewhereWithoutEcho();
    void ignoredRegions();
    void diagnosticsOfTheCurrentPlatform();
    void everyControlIsNamedByItsLabel();

private:
    AppState &state() { return *m_fixture->state; }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<SettingsWindow> m_window;
};

void SettingsWindowTest::editsReachStateAndPreferences_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<QString>("shown");
    QTest::newRow("platform") << "Android" << QVariant() << "devicePlatform" << QVariant("Android") << "";
    QTest::newRow("team") << "Apple Team ID" << QVariant("T3AM") << "appleTeamID" << QVariant("T3AM") << "";
    QTest::newRow("bundle") << "WDA Bundle ID" << QVariant("b.wda") << "wdaBundleID" << QVariant("b.wda") << "";
    QTest::newRow("threshold") << "像素差阈值" << QVariant(40) << "comparisonSettings/pixelThreshold" << QVariant(40.0)
                               << "40";
    QTest::newRow("position") << "位置容差" << QVariant(3.5) << "comparisonSettings/positionTolerance"
                              << QVariant(3.5) << "3.5 pt";
    QTest::newRow("size") << "尺寸容差" << QVariant(0.5) << "comparisonSettings/sizeTolerance" << QVariant(0.5)
                          << "0.5 pt";
    QTest::newRow("offset") << "垂直偏移" << QVariant(-12.5) << "comparisonSettings/manualOffsetY" << QVariant(-12.5)
                            << "-12.5 pt";
    QTest::newRow("crop") << "左侧裁剪" << QVariant(25) << "comparisonSettings/designCropLeft" << QVariant(0.125)
                          << "12.5%";
    QTest::newRow("crop at its end") << "底部裁剪" << QVariant(1000) << "comparisonSettings/designCropBottom"
                                     << QVariant(0.45) << "45.0%";
    QTest::newRow("status bar") << "忽略顶部状态栏" << QVariant(true) << "comparisonSettings/ignoreStatusBar"
                                << QVariant(true) << "";
}

void SettingsWindowTest::editsReachStateAndPreferences()
{
    QFETCH(QString, control);
    QFETCH(QVariant, input);
    QFETCH(QString, key);
    QFETCH(QVariant, expected);
    QFETCH(QString, shown);
    QWidget *w = vantrel::test::control<QWidget>(*m_window, control);
    if (auto *slider = qobject_cast<QSlider *>(w)) {
        slider->setValue(input.toInt());
        if (!shown.isEmpty())
            QVERIFY2(visibleLabels(*slider->parentWidget()).contains(shown), qPrintable(shown));
    } else if (auto *stepper = qobject_cast<QDoubleSpinBox *>(w)) {
        stepper->setValue(input.toDouble());
        QCOMPARE(stepper->text(), shown);
    } else if (auto *field = qobject_cast<QLineEdit *>(w)) {
        field->selectAll();
        QTest::keyClicks(field, input.toString());
    } else {
        qobject_cast<QAbstractButton *>(w)->click();
    }
    QCOMPARE(stored(key), expected);
}

void SettingsWindowTest::followsChangesMadeElsewhereWithoutEcho()
{
    QSignalSpy settingsSpy(&state(), &AppState::settingsChanged);
    QSignalSpy platformSpy(&state(), &AppState::platformChanged);
    ComparisonSettings settings = state().settings();
    settings.pixelThreshold = 60;
    settings.designCropTop = 0.2;
    settings.manualOffsetX = 7.5;
    settings.ignoreStatusBar = true;
    state().setSettings(settings);
    state().setPlatform(AppPlatform::android);
    state().setAppleTeamID(QStringLiteral("ELSEWHERE"));

    QCOMPARE(control<QSlider>(*m_window, "像素差阈值")->value(), 60);
    QCOMPARE(control<QSlider>(*m_window, "顶部裁剪")->value(), 40);
    QVERIFY(visibleLabels(*m_window).contains("20.0%"));
    QCOMPARE(control<QDoubleSpinBox>(*m_window, "水平偏移")->value(), 7.5);
    QVERIFY(control<QAbstractButton>(*m_window, "忽略顶部状态栏")->isChecked());
    QVERIFY(control<QAbstractButton>(*m_window, "Android")->isChecked());
    QCOMPARE(control<QLineEdit>(*m_window, "Apple Team ID")->text(), "ELSEWHERE");
    // Showing a value neither writes it back nor saves it.
    QCOMPARE(settingsSpy.count(), 1);
    QCOMPARE(platformSpy.count(), 1);
    QCOMPARE(state().settings(), settings);
    QVERIFY(!preferences().contains("devicePlatform"));
    QVERIFY(!preferences().contains("comparisonSettings"));
}

void SettingsWindowTest::ignoredRegions()
{
    QVERIFY(visibleLabels(*m_window).contains("尚未框选忽略区域"));
    auto *clear = control<QAbstractButton>(*m_window, "清空全部");
    QSignalSpy settingsSpy(&state(), &AppState::settingsChanged);
    clear->click();
    QCOMPARE(settingsSpy.count(), 0);
    QVERIFY(!preferences().contains("comparisonSettings"));

    state().addIgnoredRegion(RectValue(0.1, 0.4, 0.3, 0.1));
    state().addIgnoredRegion(RectValue(0, 0, 1, 0.0625));
    const QStringList labels = visibleLabels(*m_window);
    QVERIFY(labels.contains("x 10.0% · y 40.0% · 30.0% × 10.0%"));
    QVERIFY(labels.contains("x 0.0% · y 0.0% · 100.0% × 6.2%"));
    QVERIFY(!labels.contains("尚未框选忽略区域"));

    const QUuid kept = state().settings().ignoredRegions[1].id;
    control<QAbstractButton>(*m_window, "删除")->click();
    QCOMPARE(state().settings().ignoredRegions.size(), 1);
    QCOMPARE(state().settings().ignoredRegions[0].id, kept);
    QCOMPARE(stored("comparisonSettings/ignoredRegions").toList().size(), 1);
    const auto buttons = m_window->findChildren<QAbstractButton *>();
    QCOMPARE(std::count_if(buttons.begin(), buttons.end(), [](auto *b) { return b->text() == "删除"; }), 1);

    clear->click();
    QVERIFY(state().settings().ignoredRegions.isEmpty());
    QCOMPARE(stored("comparisonSettings/ignoredRegions").toList().size(), 0);
    QVERIFY(visibleLabels(*m_window).contains("尚未框选忽略区域"));
}

void SettingsWindowTest::diagnosticsOfTheCurrentPlatform()
{
    m_window->tabs()->setCurrentIndex(2);
    auto *checks = m_window->findChild<QListWidget *>();
    auto *log = m_window->findChild<QPlainTextEdit *>();
    for (const AppPlatform platform : {AppPlatform::ios, AppPlatform::android}) {
        state().setPlatform(platform);
        const DeviceManagerBase &manager = state().currentManager();
        QVERIFY(AppFixture::waitFor([&] { return !manager.diagnostics().isEmpty(); }));
        QVERIFY(visibleLabels(*m_window).contains(state().platformName() + " 运行环境"));
        QCOMPARE(checks->count(), manager.diagnostics().size());
        for (int row = 0; row < checks->count(); ++row) {
            const EnvironmentCheck &check = manager.diagnostics()[row];
            QVERIFY(checks->item(row)->text().startsWith(check.name));
            QCOMPARE(checks->item(row)->data(Qt::AccessibleDescriptionRole).toString(), levelLabel(check.level));
        }
        QCOMPARE(log->accessibleName(), platform == AppPlatform::android ? "ADB 日志" : "Appium 日志");
        QCOMPARE(log->toPlainText(), manager.logText());
        QCOMPARE(log->isVisibleTo(m_window.get()), !manager.logText().isEmpty());
        QCOMPARE(visibleLabels(*m_window).contains("暂无日志"), manager.logText().isEmpty());
    }

    // The log follows appends; the view stays at the end only when it was there.
    AndroidDeviceManager &android = state().android();
    for (int i = 0; i < 200; ++i)
        android.appendLog(QStringLiteral("line %1\n").arg(i));
    QCOMPARE(log->toPlainText(), android.logText());
    QScrollBar *bar = log->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    bar->setValue(3);
    android.appendLog(QStringLiteral("more\n"));
    QCOMPARE(log->toPlainText(), android.logText());
    QCOMPARE(bar->value(), 3);
    // Past its limit the log loses its oldest lines as new ones come.
    QString filler;
    for (int i = 0; filler.size() < DeviceManagerBase::kLogLimit - 100; ++i)
        filler += QStringLiteral("填充 %1\n").arg(i);
    android.appendLog(filler);
    for (int i = 0; i < 30; ++i) {
        android.appendLog(QStringLiteral("第 %1 行\n").arg(i));
        QCOMPARE(log->toPlainText(), android.logText());
    }
    QCOMPARE(log->toPlainText(), android.logText());

    // Checks run again on request and are shown again.
    QSignalSpy rerun(&android, &DeviceManagerBase::diagnosticsChanged);
    control<QAbstractButton>(*m_window, "重新检查")->click();
    QVERIFY(rerun.wait(20'000));
    QCOMPARE(checks->item(0)->text().section('\n', 0, 0), android.diagnostics()[0].name);
}

void SettingsWindowTest::everyControlIsNamedByItsLabel()
{
    state().addIgnoredRegion(RectValue(0.1, 0.4, 0.3, 0.1));
    int named = 0;
    for (QWidget *w : m_window->findChildren<QWidget *>()) {
        const bool control = (qobject_cast<QAbstractButton *>(w) && !qobject_cast<QTabBar *>(w->parentWidget())) ||
                             (qobject_cast<QAbstractSlider *>(w) && !qobject_cast<QScrollBar *>(w)) ||
                             qobject_cast<QAbstractSpinBox *>(w) ||
                             qobject_cast<QListWidget *>(w) || qobject_cast<QPlainTextEdit *>(w) ||
                             (qobject_cast<QLineEdit *>(w) && !qobject_cast<QAbstractSpinBox *>(w->parentWidget()));
        if (!control)
            continue;
        const QString name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty(), w->metaObject()->className());
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            QCOMPARE(name, button->text());
        for (QLabel *label : m_window->findChildren<QLabel *>())
            if (label->buddy() == w)
                QCOMPARE(name, label->text());
        ++named;
    }
    QCOMPARE(named, 22);
}

QTEST_MAIN(SettingsWindowTest)
#include "tst_settings_window.moc"
