#pragma once

#include <QString>

class QCheckBox;
class QLabel;
class QToolButton;
class QWidget;

namespace vantrel::controls {

// Controls whose accessible name is their visible label, so screen readers and UI tests find
// them by what the user reads.
QToolButton *button(const QString &label, QWidget *parent);
QCheckBox *toggle(const QString &label, QWidget *parent);
// A label for a control that has no text of its own; names the control after it.
QLabel *caption(const QString &label, QWidget *control, QWidget *parent);

} // namespace vantrel::controls
