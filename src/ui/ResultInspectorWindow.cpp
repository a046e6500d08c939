#include "ui/ResultInspectorWindow.h"

#include "ui/ResultInspectorView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QVBoxLayout>

namespace vantrel {

ResultInspectorWindow::ResultInspectorWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_view(new ResultInspectorView(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("高清差异检查器"));
    setAccessibleName(windowTitle());
    setWindowIcon(QIcon(QStringLiteral(":/vantrel/vantrel.png")));
    setMinimumSize(kMinimumSize);
    resize(kInitialSize);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

void ResultInspectorWindow::setResult(const ComparisonResult &result)
{
    m_view->setResult(result);
}

void ResultInspectorWindow::present()
{
    if (!m_placed) {
        m_placed = true;
        const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame(QPoint(), size());
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

void ResultInspectorWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

} // namespace vantrel
