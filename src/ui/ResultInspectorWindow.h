#pragma once

#include "engine/ComparisonResult.h"

#include <QWidget>

namespace vantrel {

class ResultInspectorView;

// The top-level inspector window "高清差异检查器" for one result: 1280 × 840, at least
// 960 × 640, centred on its screen when first shown. The owner creates it once, brings it to
// the front with present() afterwards, and forgets it on closed(): the window deletes itself
// once closed.
class ResultInspectorWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kInitialSize{1280, 840};
    static constexpr QSize kMinimumSize{960, 640};

    explicit ResultInspectorWindow(QWidget *parent = nullptr);

    void setResult(const ComparisonResult &result);
    ResultInspectorView *view() const { return m_view; }
    // Shows the window (centred the first time), raises it and gives it the keyboard focus.
    void present();

Q_SIGNALS:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    ResultInspectorView *m_view;
    bool m_placed = false;
};

} // namespace vantrel
