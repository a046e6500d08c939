#pragma once

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QLabel>
#include <QLineEdit>

namespace vantrel::test {

// What a person reads below `root`, one line per label, button, field, slider and stepper not
// hidden itself (whichever tab it is on), in creation order: labels as their text, fields, sliders
// and steppers as "name: value", buttons as "[x] text" when checked and "[ ] text" otherwise.
inline QStringList shownTexts(QWidget &root)
{
    QStringList lines;
    for (QWidget *widget : root.findChildren<QWidget *>()) {
        const QString name = widget->accessibleName() + QStringLiteral(": ");
        if (widget->isHidden() || qobject_cast<QAbstractSpinBox *>(widget->parentWidget()))
            continue;
        const bool named = !widget->accessibleName().isEmpty(); // scroll bars have no name
        if (auto *label = qobject_cast<QLabel *>(widget); label && !label->text().isEmpty())
            lines << label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget); button && !button->text().isEmpty())
            lines << (button->isChecked() ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + button->text();
        else if (auto *field = qobject_cast<QLineEdit *>(widget); field && named)
            lines << name + field->text();
        else if (auto *slider = qobject_cast<QAbstractSlider *>(widget); slider && named)
            lines << name + QString::number(slider->value());
        else if (auto *stepper = qobject_cast<QAbstractSpinBox *>(widget); stepper && named)
            lines << name + stepper->text();
    }
    return lines;
}

} // namespace vantrel::test
