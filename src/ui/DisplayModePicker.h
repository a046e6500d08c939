#pragma once

#include "engine/Selectors.h"

#include <QWidget>

class QButtonGroup;

namespace vantrel {

// A segmented picker of the result display modes ("并排", "叠加", "热力图"), named by the
// caption given (its accessible name); each segment is a checkable button named by its label.
class DisplayModePicker : public QWidget {
    Q_OBJECT

public:
    explicit DisplayModePicker(const QString &caption, QWidget *parent = nullptr);

    ComparisonDisplayMode mode() const { return m_mode; }
    void setMode(ComparisonDisplayMode mode);

Q_SIGNALS:
    // Only on a user's choice, not on setMode.
    void modeChosen(vantrel::ComparisonDisplayMode mode);

private:
    QButtonGroup *m_group;
    ComparisonDisplayMode m_mode = ComparisonDisplayMode::overlay;
};

} // namespace vantrel
