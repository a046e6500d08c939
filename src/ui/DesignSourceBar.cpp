#include "ui/DesignSourceBar.h"

#include "app/AppState.h"
#include "ui/Controls.h"
#include "ui/MainWindowTexts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace vantrel {

DesignSourceBar::DesignSourceBar(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    auto *layout = new QHBoxLayout(this);
    m_link = new QLineEdit(this);
    const QString placeholder = QStringLiteral("粘贴 Figma、CoDesign、公开网页或图片链接");
    m_link->setPlaceholderText(placeholder);
    m_link->setAccessibleName(QStringLiteral("设计稿链接"));
    m_link->setAccessibleDescription(placeholder);
    m_link->setClearButtonEnabled(true);
    layout->addWidget(m_link, 1);
    auto *importLink = new QPushButton(QStringLiteral("从链接导入"), this);
    importLink->setAccessibleName(importLink->text());
    layout->addWidget(importLink);

    auto *importMenuButton = controls::button(QStringLiteral("导入"), this);
    auto *menu = new QMenu(importMenuButton);
    menu->addAction(QStringLiteral("导入设计稿图片…"), &m_state, &AppState::chooseLocalDesign);
    menu->addAction(QStringLiteral("导入真机截图（离线对比）…"), &m_state, &AppState::chooseDeviceScreenshot);
    importMenuButton->setMenu(menu);
    importMenuButton->setPopupMode(QToolButton::InstantPopup);
    layout->addWidget(importMenuButton);

    m_frames = new QComboBox(this);
    m_frames->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_framesCaption = controls::caption(QStringLiteral("画板"), m_frames, this);
    layout->addWidget(m_framesCaption);
    layout->addWidget(m_frames);

    connect(m_link, &QLineEdit::textEdited, &m_state, &AppState::setDesignURLText);
    connect(m_link, &QLineEdit::returnPressed, &m_state, &AppState::importDesignURL);
    connect(importLink, &QPushButton::clicked, &m_state, &AppState::importDesignURL);
    connect(m_frames, &QComboBox::activated, this, [this] { m_state.selectFigmaFrame(m_frames->currentData().toString()); });
    connect(&m_state, &AppState::designURLTextChanged, this, &DesignSourceBar::showLink);
    connect(&m_state, &AppState::designChanged, this, &DesignSourceBar::showFrames);
    connect(&m_state, &AppState::isBusyChanged, this, [this, importLink] {
        importLink->setEnabled(!m_state.isBusy());
        m_frames->setEnabled(!m_state.isBusy());
    });
    showFrames();
}

void DesignSourceBar::showLink()
{
    if (m_link->text() != m_state.designURLText())
        m_link->setText(m_state.designURLText());
}

void DesignSourceBar::showFrames()
{
    const QSignalBlocker blocker(m_frames);
    m_frames->clear();
    const std::optional<ImportedDesign> &design = m_state.design();
    const bool hasFrames = design && !design->availableFrames.isEmpty();
    m_framesCaption->setVisible(hasFrames);
    m_frames->setVisible(hasFrames);
    if (!hasFrames)
        return;
    for (const DesignFrameOption &frame : design->availableFrames)
        m_frames->addItem(texts::frameEntry(frame), frame.id);
    m_frames->setCurrentIndex(design->selectedFrameID ? m_frames->findData(*design->selectedFrameID) : -1);
}

} // namespace vantrel
