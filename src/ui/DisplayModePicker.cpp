#include "ui/DisplayModePicker.h"

#include "ui/Controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace vantrel {

DisplayModePicker::DisplayModePicker(const QString &caption, QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    setAccessibleName(caption);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new QLabel(caption, this));
    layout->addSpacing(6);
    for (const ComparisonDisplayMode mode :
         {ComparisonDisplayMode::sideBySide, ComparisonDisplayMode::overlay, ComparisonDisplayMode::heatmap}) {
        QToolButton *button = controls::button(rawValue(mode), this);
        button->setCheckable(true);
        button->setAutoRaise(false);
        m_group->addButton(button, int(mode));
        layout->addWidget(button);
    }
    m_group->button(int(m_mode))->setChecked(true);
    // Toggled rather than clicked: assistive tools check a button without clicking it.
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        const auto mode = ComparisonDisplayMode(id);
        if (!checked || mode == m_mode)
            return;
        m_mode = mode;
        Q_EMIT modeChosen(mode);
    });
}

void DisplayModePicker::setMode(ComparisonDisplayMode mode)
{
    m_mode = mode;
    m_group->button(int(mode))->setChecked(true);
}

} // namespace vantrel
