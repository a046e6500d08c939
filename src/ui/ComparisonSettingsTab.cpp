#include "ui/ComparisonSettingsTab.h"

#include "app/AppState.h"
#include "engine/NumberText.h"
#include "ui/Controls.h"
#include "ui/SettingsWindowLayout.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace vantrel {

using namespace settingslayout;

namespace {

constexpr double kStepperStep = 0.5;
const QColor kDestructiveColor(0xC6, 0x28, 0x28);

QString percent(double fraction) { return NumberText::fixed(fraction * 100, 1) + QLatin1Char('%'); }

// "x 10.0% · y 40.0% · 30.0% × 10.0%".
QString regionText(const RectValue &region)
{
    return QStringLiteral("x %1 · y %2 · %3 × %4")
        .arg(percent(region.x), percent(region.y), percent(region.width), percent(region.height));
}

} // namespace

ComparisonSettingsTab::ComparisonSettingsTab(AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    QVBoxLayout *column = scrollingPage(this);
    QWidget *page = column->parentWidget();

    QFormLayout *tolerance = section(QStringLiteral("视觉容差"), column);
    addSlider(tolerance, QStringLiteral("像素差阈值"), &ComparisonSettings::pixelThreshold, 1, kThresholdMinimum,
              kThresholdMaximum, [](double value) { return NumberText::fixed(value, 0); });
    addStepper(tolerance, QStringLiteral("位置容差"), &ComparisonSettings::positionTolerance, 0, kToleranceMaximum);
    addStepper(tolerance, QStringLiteral("尺寸容差"), &ComparisonSettings::sizeTolerance, 0, kToleranceMaximum);

    QFormLayout *alignment = section(QStringLiteral("设计稿对齐微调"), column);
    addStepper(alignment, QStringLiteral("水平偏移"), &ComparisonSettings::manualOffsetX, -kOffsetLimit, kOffsetLimit);
    addStepper(alignment, QStringLiteral("垂直偏移"), &ComparisonSettings::manualOffsetY, -kOffsetLimit, kOffsetLimit);
    const std::pair<const char16_t *, Field> crops[] = {{u"顶部裁剪", &ComparisonSettings::designCropTop},
                                                        {u"底部裁剪", &ComparisonSettings::designCropBottom},
                                                        {u"左侧裁剪", &ComparisonSettings::designCropLeft},
                                                        {u"右侧裁剪", &ComparisonSettings::designCropRight}};
    for (const auto &[label, field] : crops)
        addSlider(alignment, QString::fromUtf16(label), field, kCropStepsPerUnit, 0, kCropMaximum, percent);

    buildRegionSection(column);

    QToolButton *save = controls::button(QStringLiteral("保存设置"), page);
    save->setMinimumWidth(96);
    connect(save, &QToolButton::clicked, &m_state, &AppState::savePreferences);
    column->addWidget(save, 0, Qt::AlignRight);
    column->addStretch(1);

    showSettings();
    connect(&m_state, &AppState::settingsChanged, this, &ComparisonSettingsTab::showSettings);
}

void ComparisonSettingsTab::addSlider(QFormLayout *form, const QString &label, Field field, int stepsPerUnit,
                                      double minimum, double maximum, std::function<QString(double)> format)
{
    QWidget *box = form->parentWidget();
    auto *row = new QHBoxLayout;
    auto *slider = new QSlider(Qt::Horizontal, box);
    slider->setRange(int(std::lround(minimum * stepsPerUnit)), int(std::lround(maximum * stepsPerUnit)));
    slider->setPageStep(10);
    auto *value = new QLabel(box);
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("100.0%")) + 8);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(slider, 1);
    row->addWidget(value);
    form->addRow(controls::caption(label, slider, box), row);
    connect(slider, &QSlider::valueChanged, this,
            [this, field, stepsPerUnit](int steps) {
                edit([&](ComparisonSettings &s) { s.*field = double(steps) / stepsPerUnit; });
            });
    m_sliders.append({slider, value, field, stepsPerUnit, std::move(format)});
}

void ComparisonSettingsTab::addStepper(QFormLayout *form, const QString &label, Field field, double minimum,
                                       double maximum)
{
    auto *stepper = new QDoubleSpinBox(form->parentWidget());
    stepper->setRange(minimum, maximum);
    stepper->setSingleStep(kStepperStep);
    stepper->setDecimals(1);
    stepper->setLocale(QLocale::c()); // "2.5 pt" whatever the system's decimal mark
    stepper->setSuffix(QStringLiteral(" pt"));
    stepper->setMaximumWidth(140);
    form->addRow(controls::caption(label, stepper, form->parentWidget()), stepper);
    connect(stepper, &QDoubleSpinBox::valueChanged, this,
            [this, field](double value) { edit([&](ComparisonSettings &s) { s.*field = value; }); });
    m_steppers.append({stepper, field});
}

void ComparisonSettingsTab::buildRegionSection(QVBoxLayout *column)
{
    QFormLayout *form = section(QStringLiteral("动态内容忽略区域"), column);
    QWidget *box = form->parentWidget();
    m_ignoreStatusBar = controls::toggle(QStringLiteral("忽略顶部状态栏"), box);
    connect(m_ignoreStatusBar, &QCheckBox::toggled, this,
            [this](bool on) { edit([on](ComparisonSettings &s) { s.ignoreStatusBar = on; }); });
    form->addRow(m_ignoreStatusBar);

    m_noRegions = note(QStringLiteral("尚未框选忽略区域"), box);
    form->addRow(m_noRegions);
    m_regionRows = new QVBoxLayout;
    m_regionRows->setSpacing(4);
    form->addRow(m_regionRows);

    m_clearRegions = controls::button(QStringLiteral("清空全部"), box);
    QPalette palette = m_clearRegions->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::ButtonText, kDestructiveColor);
    m_clearRegions->setPalette(palette);
    connect(m_clearRegions, &QToolButton::clicked, this, [this] {
        if (m_state.settings().ignoredRegions.isEmpty())
            return;
        m_state.clearIgnoredRegions();
        m_state.savePreferences();
    });
    form->addRow(m_clearRegions);
}

void ComparisonSettingsTab::edit(const std::function<void(ComparisonSettings &)> &change)
{
    ComparisonSettings settings = m_state.settings();
    change(settings);
    m_state.setSettings(settings);
    m_state.savePreferences();
}

void ComparisonSettingsTab::showSettings()
{
    const ComparisonSettings &settings = m_state.settings();
    for (const SliderField &f : std::as_const(m_sliders)) {
        const QSignalBlocker blocker(f.slider);
        f.slider->setValue(int(std::lround(settings.*f.field * f.stepsPerUnit)));
        f.value->setText(f.format(settings.*f.field));
    }
    for (const StepperField &f : std::as_const(m_steppers)) {
        const QSignalBlocker blocker(f.stepper);
        f.stepper->setValue(settings.*f.field);
    }
    {
        const QSignalBlocker blocker(m_ignoreStatusBar);
        m_ignoreStatusBar->setChecked(settings.ignoreStatusBar);
    }
    showRegions();
}

void ComparisonSettingsTab::showRegions()
{
    const QList<RectValue> &regions = m_state.settings().ignoredRegions;
    if (regions == m_shownRegions)
        return;
    m_shownRegions = regions;
    // A row may be the one whose "删除" is being handled: let it go once that is over.
    while (QLayoutItem *item = m_regionRows->takeAt(0)) {
        item->widget()->setParent(nullptr);
        item->widget()->deleteLater();
        delete item;
    }
    QWidget *box = m_noRegions->parentWidget();
    for (const RectValue &region : regions) {
        auto *row = new QWidget(box);
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *text = new QLabel(regionText(region), row);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QToolButton *remove = controls::button(QStringLiteral("删除"), row);
        remove->setAccessibleDescription(text->text());
        const QUuid id = region.id;
        connect(remove, &QToolButton::clicked, this, [this, id] {
            m_state.removeIgnoredRegion(id);
            m_state.savePreferences();
        });
        layout->addWidget(text, 1);
        layout->addWidget(remove);
        m_regionRows->addWidget(row);
    }
    m_noRegions->setVisible(regions.isEmpty());
    m_clearRegions->setEnabled(!regions.isEmpty());
}

} // namespace vantrel
