#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;

namespace vantrel {

class AppState;

// The design source bar: the link field with "从链接导入", the import menu "导入", and, when the
// design offers frames, the frame picker "画板".
class DesignSourceBar : public QWidget {
    Q_OBJECT
public:
    explicit DesignSourceBar(AppState &state, QWidget *parent = nullptr);

    QLineEdit *linkField() const { return m_link; }
    QComboBox *framePicker() const { return m_frames; }

private:
    void showLink();
    void showFrames();

    AppState &m_state;
    QLineEdit *m_link;
    QLabel *m_framesCaption;
    QComboBox *m_frames;
};

} // namespace vantrel
