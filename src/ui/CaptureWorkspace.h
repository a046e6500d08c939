#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace vantrel {

class AppState;
class ImageCanvas;

// The capture workspace: the device card (live picture or offline screenshot, with the ignored
// regions and the toggle that lets the user drag out a new one) beside the design card.
class CaptureWorkspace : public QWidget {
    Q_OBJECT
public:
    explicit CaptureWorkspace(AppState &state, QWidget *parent = nullptr);

    ImageCanvas *deviceCanvas() const { return m_deviceCanvas; }
    ImageCanvas *designCanvas() const { return m_designCanvas; }
    QCheckBox *drawToggle() const { return m_draw; }

private:
    void showDeviceImage();
    void showDesign();
    void showState();

    AppState &m_state;
    QLabel *m_deviceTitle;
    QLabel *m_deviceSubtitle;
    QLabel *m_designSubtitle;
    QCheckBox *m_draw;
    ImageCanvas *m_deviceCanvas;
    ImageCanvas *m_designCanvas;
};

} // namespace vantrel
