#pragma once

#include "engine/ComparisonSettings.h"

#include <QList>
#include <QWidget>

#include <functional>

class QCheckBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QSlider;
class QToolButton;
class QVBoxLayout;

namespace vantrel {

class AppState;

// The settings tab "对比": the visual tolerances, the fine alignment of the design (offsets and
// crops), the ignored regions with their removal, and a button that saves the settings. Every
// edit replaces the state's settings with an edited copy and saves the preferences.
class ComparisonSettingsTab : public QWidget {
    Q_OBJECT

public:
    // The slider and stepper ranges, in the settings' own units.
    static constexpr double kThresholdMinimum = 1, kThresholdMaximum = 100;
    static constexpr double kToleranceMaximum = 50;
    static constexpr double kOffsetLimit = 200;
    static constexpr int kCropStepsPerUnit = 200; // steps of 0.005
    static constexpr double kCropMaximum = 0.45;

    explicit ComparisonSettingsTab(AppState &state, QWidget *parent = nullptr);

private:
    using Field = double ComparisonSettings::*;
    struct SliderField {
        QSlider *slider;
        QLabel *value;
        Field field;
        int stepsPerUnit;
        std::function<QString(double)> format;
    };
    struct StepperField {
        QDoubleSpinBox *stepper;
        Field field;
    };

    void addSlider(QFormLayout *form, const QString &label, Field field, int stepsPerUnit, double minimum,
                   double maximum, std::function<QString(double)> format);
    void addStepper(QFormLayout *form, const QString &label, Field field, double minimum, double maximum);
    void buildRegionSection(QVBoxLayout *column);
    void edit(const std::function<void(ComparisonSettings &)> &change);
    void showSettings();
    void showRegions();

    AppState &m_state;
    QList<SliderField> m_sliders;
    QList<StepperField> m_steppers;
    QCheckBox *m_ignoreStatusBar = nullptr;
    QVBoxLayout *m_regionRows = nullptr;
    QLabel *m_noRegions = nullptr;
    QToolButton *m_clearRegions = nullptr;
    QList<RectValue> m_shownRegions;
};

} // namespace vantrel
