#include "ui/Controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QToolButton>

namespace vantrel::controls {

QToolButton *button(const QString &label, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(label);
    button->setAccessibleName(label);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

QCheckBox *toggle(const QString &label, QWidget *parent)
{
    auto *box = new QCheckBox(label, parent);
    box->setAccessibleName(label);
    return box;
}

QLabel *caption(const QString &label, QWidget *control, QWidget *parent)
{
    auto *text = new QLabel(label, parent);
    text->setBuddy(control);
    control->setAccessibleName(label);
    return text;
}

} // namespace vantrel::controls
