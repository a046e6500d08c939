#pragma once

#include <QString>

class QFormLayout;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace vantrel::settingslayout {

// The layout pieces the settings tabs share.

// A tab page that scrolls when the window is too small for it; returns the column to fill.
QVBoxLayout *scrollingPage(QWidget *tab);
// A titled section appended to the column; returns its form.
QFormLayout *section(const QString &title, QVBoxLayout *column);
// An explanatory line in the secondary text colour, wrapped to the form's width.
QLabel *note(const QString &text, QWidget *parent);
// A bold heading.
QLabel *heading(const QString &text, QWidget *parent);

} // namespace vantrel::settingslayout
