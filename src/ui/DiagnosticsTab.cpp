#include "ui/DiagnosticsTab.h"

#include "app/AppState.h"
#include "ui/Controls.h"
#include "ui/SettingsWindowLayout.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

#include <optional>

namespace vantrel {

namespace {

QStyle::StandardPixmap levelIcon(EnvironmentCheck::Level level)
{
    switch (level) {
    case EnvironmentCheck::Level::success:
        return QStyle::SP_DialogApplyButton;
    case EnvironmentCheck::Level::warning:
        return QStyle::SP_MessageBoxWarning;
    case EnvironmentCheck::Level::failure:
        break;
    }
    return QStyle::SP_MessageBoxCritical;
}

// How many characters were cut from the front of `shown` before more was appended to give `text`
// (the manager keeps only the end of its log); none when `text` is not of that form. Only a few
// candidate cuts are tried, so a log of repeated lines costs no more than laying it out again.
std::optional<qsizetype> cutFromFront(const QString &shown, const QString &text)
{
    if (shown.isEmpty())
        return std::nullopt;
    const QStringView probe = QStringView(text).left(80);
    qsizetype from = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const qsizetype cut = shown.indexOf(probe, from);
        if (cut < 0)
            return std::nullopt;
        if (text.startsWith(QStringView(shown).mid(cut)))
            return cut;
        from = cut + 1;
    }
    return std::nullopt;
}

} // namespace

DiagnosticsTab::DiagnosticsTab(AppState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_heading(settingslayout::heading(QString(), this))
    , m_checks(new QListWidget(this))
    , m_logCaption(new QLabel(this))
    , m_noLog(settingslayout::note(QStringLiteral("暂无日志"), this))
    , m_log(new QPlainTextEdit(this))
{
    QToolButton *recheck = controls::button(QStringLiteral("重新检查"), this);
    connect(recheck, &QToolButton::clicked, this, [this] {
        if (m_state.platform() == AppPlatform::android)
            m_state.android().runDiagnostics();
        else
            m_state.device().runDiagnostics();
    });
    auto *top = new QHBoxLayout;
    top->addWidget(m_heading, 1);
    top->addWidget(recheck);

    m_checks->setWordWrap(true);
    m_checks->setIconSize(QSize(20, 20));
    m_checks->setSpacing(4);
    m_checks->setSelectionMode(QAbstractItemView::NoSelection);
    m_checks->setFocusPolicy(Qt::TabFocus);

    m_log->setReadOnly(true);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_logCaption->setBuddy(m_log);
    QFont captionFont = m_logCaption->font();
    captionFont.setWeight(QFont::DemiBold);
    m_logCaption->setFont(captionFont);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);
    layout->addLayout(top);
    layout->addWidget(m_checks, 2);
    layout->addWidget(m_logCaption);
    layout->addWidget(m_noLog);
    layout->addWidget(m_log, 3);

    watch(m_state.device());
    watch(m_state.android());
    connect(&m_state, &AppState::platformChanged, this, &DiagnosticsTab::showPlatform);
    showPlatform();
}

void DiagnosticsTab::watch(DeviceManagerBase &manager)
{
    connect(&manager, &DeviceManagerBase::diagnosticsChanged, this, [this, &manager] {
        if (&manager == &m_state.currentManager()) {
            m_checksStale = true;
            showChecks();
        }
    });
    connect(&manager, &DeviceManagerBase::logTextChanged, this, [this, &manager] {
        if (&manager == &m_state.currentManager()) {
            m_logStale = true;
            showLog();
        }
    });
}

void DiagnosticsTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showChecks();
    showLog();
}

void DiagnosticsTab::showPlatform()
{
    const bool android = m_state.platform() == AppPlatform::android;
    m_heading->setText(m_state.platformName() + QStringLiteral(" 运行环境"));
    m_checks->setAccessibleName(m_heading->text());
    m_logCaption->setText(android ? QStringLiteral("ADB 日志") : QStringLiteral("Appium 日志"));
    m_log->setAccessibleName(m_logCaption->text());
    m_checksStale = m_logStale = true;
    showChecks();
    showLog();
}

void DiagnosticsTab::showChecks()
{
    if (!m_checksStale || !isVisible())
        return;
    m_checksStale = false;
    m_checks->clear();
    for (const EnvironmentCheck &check : m_state.currentManager().diagnostics()) {
        const QString text = check.detail.isEmpty() ? check.name : check.name + QLatin1Char('\n') + check.detail;
        auto *item = new QListWidgetItem(style()->standardIcon(levelIcon(check.level)), text, m_checks);
        item->setData(Qt::AccessibleDescriptionRole, levelLabel(check.level));
        item->setToolTip(levelLabel(check.level));
    }
}

void DiagnosticsTab::showLog()
{
    if (!m_logStale || !isVisible())
        return;
    m_logStale = false;
    const QString &text = m_state.currentManager().logText();
    m_noLog->setVisible(text.isEmpty());
    m_log->setVisible(!text.isEmpty());
    if (text == m_shownLog)
        return;
    QScrollBar *bar = m_log->verticalScrollBar();
    const int position = bar->value();
    const bool atEnd = position == bar->maximum();
    if (const std::optional<qsizetype> cut = cutFromFront(m_shownLog, text)) {
        // Lines were appended (and old ones dropped): edit both ends instead of laying the whole
        // log out again. The document has one position per character, line breaks included.
        QTextCursor cursor(m_log->document());
        if (*cut > 0) {
            cursor.setPosition(int(*cut), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text.mid(m_shownLog.size() - *cut));
    } else {
        m_log->setPlainText(text);
    }
    m_shownLog = text;
    bar->setValue(atEnd ? bar->maximum() : position);
}

} // namespace vantrel
