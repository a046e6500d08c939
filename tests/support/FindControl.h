#pragma once

#include <QAbstractButton>
#include <QWidget>

namespace vantrel::test {

// The child of `root` of type T whose accessible name is `name`, as a screen reader finds it.
template<typename T = QAbstractButton>
T *control(QWidget &root, const QString &name)
{
    for (T *widget : root.findChildren<T *>()) {
        if (widget->accessibleName() == name)
            return widget;
    }
    qFatal("no control named %s", qPrintable(name));
}

} // namespace vantrel::test
