#include "engine/ComparisonEngine.h"
#include "ui/ImageCanvas.h"
#include "ui/IssueListView.h"
#include "ui/ResultCanvasView.h"
#include "ui/ResultInspectorView.h"
#include "ui/ResultInspectorWindow.h"
#include "support/FindControl.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QSlider>
#include <QLabel>
#include <QListWidget>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPointer>
#include <QPointingDevice>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

using namespace vantrel;
using vantrel::test::control;

namespace {

// A white screen whose design has a black block in the middle: one clear difference.
ComparisonResult blockResult()
{
    QImage device(90, 180, QImage::Format_RGB32);
    device.fill(Qt::white);
    ImportedDesign design;
    design.image = device.copy();
    QPainter(&design.image).fillRect(30, 60, 30, 60, Qt::black);
    design.pixelSize = pixelSizeValue(design.image);
    design.canvasSize = design.pixelSize;
    return ComparisonEngine().compare(CapturedDeviceState{device, {}, pixelSizeValue(device)}, design, {});
}

ComparisonIssue issue(const QString &title, RectValue deviceRect, RectValue designRect)
{
    ComparisonIssue i;
    i.title = title;
    i.detail = title + QStringLiteral(" detail");
    i.deviceRect = deviceRect;
    i.designRect = designRect;
    return i;
}

void sendZoomGesture(QWidget *target, Qt::NativeGestureType type, double value)
{
    QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, QPointF(10, 10), QPointF(10, 10),
                              QPointF(10, 10), value, QPointF());
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class ResultInspectorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyControlIsNamedByItsLabel()
    {
        ResultInspectorView view;
        view.setResult(blockResult());
        QStringList names;
        for (QWidget *w : view.findChildren<QWidget *>()) {
            if (!qobject_cast<QAbstractButton *>(w) && !qobject_cast<QSlider *>(w))
                continue;
            const QString name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
            if (const auto *button = qobject_cast<QAbstractButton *>(w))
                QCOMPARE(name, button->text());
            names << name;
        }
        names.sort();
        QCOMPARE(names, QStringList({"叠加", "并排", "放大", "热力图", "缩小", "设计稿", "适合窗口", "闪烁"}));
        // Live texts are read from the labels themselves.
        const auto *header = view.findChild<QLabel *>(QStringLiteral("resultHeader"));
        QCOMPARE(QAccessible::queryAccessibleInterface(const_cast<QLabel *>(header))->text(QAccessible::Name),
                 header->text());
    }

    void windowTellsItsOwnerWhenClosedAndGoesAway()
    {
        QPointer<ResultInspectorWindow> window = new ResultInspectorWindow;
        QCOMPARE(window->size(), QSize(1280, 840));
        QVERIFY(!window->windowIcon().availableSizes().isEmpty());
        QSignalSpy closed(window.data(), &ResultInspectorWindow::closed);
        window->present();
        window->present();
        QVERIFY(window->isVisible());
        QVERIFY(window->close());
        QCOMPARE(closed.size(), 1);
        QTRY_VERIFY(window.isNull());
    }

    void zoomButtonsStayWithinLimits()
    {
        ResultInspectorView view;
        auto *label = view.findChild<QLabel *>(QStringLiteral("zoomLabel"));
        QCOMPARE(label->text(), QStringLiteral("100%"));
        for (int i = 0; i < 20; ++i)
            control(view, QStringLiteral("放大"))->click();
        QCOMPARE(view.zoom(), 4.0);
        QCOMPARE(label->text(), QStringLiteral("400%"));
        QCOMPARE(view.canvasView()->primaryCanvas()->zoom(), 4.0);
        control(view, QStringLiteral("缩小"))->click();
        QCOMPARE(view.zoom(), 3.75);
        for (int i = 0; i < 20; ++i)
            control(view, QStringLiteral("缩小"))->click();
        QCOMPARE(view.zoom(), 0.25);
        QCOMPARE(label->text(), QStringLiteral("25%"));

        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QTest::keyClick(&view, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(view.zoom(), 0.5);
        QTest::keyClick(&view, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(view.zoom(), 0.8);
    }

    void fitZoomDependsOnMode_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<double>("zoom");
        QTest::newRow("side by side") << QStringLiteral("并排") << 0.65;
        QTest::newRow("overlay") << QStringLiteral("叠加") << 0.8;
        QTest::newRow("heat map") << QStringLiteral("热力图") << 0.8;
    }
    void fitZoomDependsOnMode()
    {
        QFETCH(QString, mode);
        QFETCH(double, zoom);
        ResultInspectorView view;
        control(view, mode)->click();
        QCOMPARE(rawValue(view.mode()), mode);
        control(view, QStringLiteral("适合窗口"))->click();
        QCOMPARE(view.zoom(), zoom);
        QCOMPARE(view.findChild<QLabel *>(QStringLiteral("zoomLabel"))->text(),
                 QString::number(qRound(zoom * 100)) + QLatin1Char('%'));
    }

    void gesturesAndWheelZoomWithinLimits()
    {
        ResultInspectorView view;
        ImageCanvas *canvas = view.canvasView()->primaryCanvas();
        // Touchpad pinch: each event carries the change since the last one.
        sendZoomGesture(canvas, Qt::BeginNativeGesture, 0);
        sendZoomGesture(canvas, Qt::ZoomNativeGesture, 1.0); // magnification 2
        QCOMPARE(view.zoom(), 2.0);
        sendZoomGesture(canvas, Qt::ZoomNativeGesture, 0.5); // magnification 3
        QCOMPARE(view.zoom(), 3.0);
        sendZoomGesture(canvas, Qt::ZoomNativeGesture, 1.0); // magnification 6: clamped
        QCOMPARE(view.zoom(), 4.0);
        sendZoomGesture(canvas, Qt::EndNativeGesture, 0);
        // A new gesture starts from magnification 1 again.
        view.magnificationChanged(0.5);
        QCOMPARE(view.zoom(), 2.0);
        view.magnificationChanged(0.01);
        QCOMPARE(view.zoom(), 0.25);
        view.magnificationEnded();

        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(canvas, &wheel);
        QVERIFY(view.zoom() > 0.25 && view.zoom() < 0.5);
    }

    void sideBySidePicturesPanTogether()
    {
        ResultInspectorView view;
        view.resize(1280, 840);
        view.show();
        view.setResult(blockResult());
        control(view, QStringLiteral("并排"))->click();
        view.setZoom(3);
        ImageCanvas *device = view.canvasView()->primaryCanvas();
        QTest::mousePress(device, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(device, QPoint(130, 40));
        QTest::mouseRelease(device, Qt::LeftButton, {}, QPoint(130, 40));
        QVERIFY(device->pan() != QPointF());
        QCOMPARE(view.canvasView()->secondaryCanvas()->pan(), device->pan());
    }

    void blinkFlipsOnlyWhileEnabled()
    {
        ResultInspectorView view;
        const auto *timer = view.findChild<QTimer *>();
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 650);
        view.blinkTick();
        QCOMPARE(view.blinkPhase(), false);
        control(view, QStringLiteral("闪烁"))->click();
        QVERIFY(view.blinkEnabled());
        view.blinkTick();
        QCOMPARE(view.blinkPhase(), true);
        view.blinkTick();
        QCOMPARE(view.blinkPhase(), false);
        view.blinkTick();
        control(view, QStringLiteral("闪烁"))->click();
        view.blinkTick();
        QCOMPARE(view.blinkPhase(), true);
    }

    void selectingAnIssueHighlightsItsRectangles()
    {
        ComparisonResult result = blockResult();
        const RectValue deviceRect(0.1, 0.2, 0.3, 0.1);
        const RectValue designRect(0.5, 0.6, 0.2, 0.2);
        result.issues = {issue(QStringLiteral("first"), RectValue(0, 0, 1, 1), RectValue(0, 0, 1, 1)),
                         issue(QStringLiteral("second"), deviceRect, designRect)};
        ResultInspectorView view;
        view.resize(1280, 840);
        view.show();
        view.setResult(result);
        control(view, QStringLiteral("并排"))->click();
        ImageCanvas *device = view.canvasView()->primaryCanvas();
        ImageCanvas *design = view.canvasView()->secondaryCanvas();
        QVERIFY(device->highlightedRegions().isEmpty());

        auto *list = view.findChild<IssueListView *>()->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QCOMPARE(view.selectedIssueID(), result.issues[1].id);
        QCOMPARE(device->highlightedRegions(), QList<RectValue>{deviceRect});
        QCOMPARE(design->highlightedRegions(), QList<RectValue>{designRect});
        control(view, QStringLiteral("热力图"))->click();
        QCOMPARE(device->highlightedRegions(), QList<RectValue>{deviceRect});

        // A result without that issue drops the selection and its outline.
        result.issues.removeLast();
        view.setResult(result);
        QCOMPARE(view.selectedIssueID(), std::nullopt);
        QVERIFY(device->highlightedRegions().isEmpty());
        QCOMPARE(view.findChild<QLabel *>(QStringLiteral("issueCount"))->text(), QStringLiteral("1"));
        result.issues.clear();
        view.setResult(result);
        QCOMPARE(view.findChild<QStackedWidget *>()->currentWidget(),
                 view.findChild<QLabel *>(QStringLiteral("emptyTitle"))->parentWidget());
    }

    void heatMapShowsChangedPixelsRedOrange()
    {
        const ComparisonResult result = blockResult();
        QVERIFY(!result.issues.isEmpty());
        ResultInspectorView view;
        view.resize(1280, 840);
        view.show();
        view.setResult(result);
        QCOMPARE(view.findChild<QLabel *>(QStringLiteral("resultHeader"))->text(),
                 result.status + QStringLiteral(" · 一致度 ") + QString::number(result.score, 'f', 2));
        control(view, QStringLiteral("热力图"))->click();
        ImageCanvas *canvas = view.canvasView()->primaryCanvas();
        const QRectF shown = canvas->displayedImageRect();
        const QImage shot = canvas->grab().toImage();
        const QColor changed = shot.pixelColor(shown.center().toPoint()); // inside the black block
        QVERIFY2(changed.red() > 200 && changed.green() < 150 && changed.blue() < 100,
                 qPrintable(QStringLiteral("changed pixel shown as %1").arg(changed.name())));
        const QColor unchanged = shot.pixelColor((shown.topLeft() + QPointF(5, 5)).toPoint());
        QVERIFY2(qAbs(unchanged.red() - unchanged.blue()) < 10,
                 qPrintable(QStringLiteral("unchanged pixel shown as %1").arg(unchanged.name())));
    }
};

QTEST_MAIN(ResultInspectorTest)
#include "tst_result_inspector.moc"
