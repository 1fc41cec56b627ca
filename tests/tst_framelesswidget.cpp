// The frameless frame: zone finding and resize geometry as plain functions,
// then the widget driven by real mouse events through its window.

#include "ui/frame/framegeometry.h"
#include "ui/frame/framelesswidget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <memory>

Q_DECLARE_METATYPE(FrameZone)
Q_DECLARE_METATYPE(Qt::CursorShape)
Q_DECLARE_METATYPE(ResizeEdges)

namespace
{

const QRect kPressGeometry(100, 100, 400, 300); // right 499, bottom 399
const QSize kMinimum(200, 150);

ResizeEdges edges(bool top, bool left, bool right, bool bottom)
{
    ResizeEdges e;
    e.top = top;
    e.left = left;
    e.right = right;
    e.bottom = bottom;
    return e;
}

const QStringList kButtons = {"toolButton_help", "toolButton_full_exit", "toolButton_full",
                              "toolButton_min",  "toolButton_restore",   "toolButton_max",
                              "toolButton_close"};

QStringList shownButtons(const FramelessWidget &frame)
{
    QStringList shown;
    for (const QString &name : kButtons) {
        auto *button = frame.findChild<QToolButton *>(name);
        if (button && !button->isHidden())
            shown << name;
    }
    return shown;
}

// Mouse events go through the frame's window, so Qt routes them to the child
// under the pointer and propagates them as it does for a real mouse. Points are
// given in screen coordinates and mapped with the window's current position.
class Mouse
{
public:
    explicit Mouse(QWidget *window) : m_widget(window) {}
    void press(const QPoint &screen)
    {
        QTest::mousePress(window(), Qt::LeftButton, Qt::NoModifier, local(screen));
    }
    void move(const QPoint &screen) { QTest::mouseMove(window(), local(screen)); }
    void release(const QPoint &screen)
    {
        QTest::mouseRelease(window(), Qt::LeftButton, Qt::NoModifier, local(screen));
    }
    void doubleClick(const QPoint &screen)
    {
        QTest::mouseDClick(window(), Qt::LeftButton, Qt::NoModifier, local(screen));
    }
    // A double click whose second release comes `shift` away from the press,
    // as a hand gives it: press, release, press (the double click), a move,
    // release. Each event is placed against the window's geometry at that
    // moment, so the pointer stays put on the screen while the window changes.
    void doubleClickWithMove(const QPoint &screen, const QPoint &shift)
    {
        send(screen, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
        send(screen, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
        send(screen, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
        send(screen + shift, Qt::LeftButton, Qt::NoButton, QEvent::MouseMove);
        send(screen + shift, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
        QTest::lastMouseTimestamp += QTest::mouseDoubleClickInterval;
        qApp->processEvents();
    }
    // Press, move in `steps` equal steps to `to`, release.
    void drag(const QPoint &from, const QPoint &to, int steps = 4)
    {
        press(from);
        for (int i = 1; i <= steps; ++i)
            move(from + (to - from) * i / steps);
        release(to);
    }

private:
    QWindow *window() const { return m_widget->windowHandle(); }
    void send(const QPoint &screen, Qt::MouseButtons buttons, Qt::MouseButton button,
              QEvent::Type type)
    {
        qt_handleMouseEvent(window(), local(screen), screen, buttons, button, type, Qt::NoModifier,
                            ++QTest::lastMouseTimestamp);
    }
    QPoint local(const QPoint &screen) const { return screen - m_widget->geometry().topLeft(); }
    QWidget *m_widget;
};

} // namespace

class TestFramelessWidget : public QObject
{
    Q_OBJECT

private slots:
    void zoneAt_data();
    void zoneAt();
    void resizedGeometry_data();
    void resizedGeometry();
    void resizeStopsAboveMinimum_data();
    void resizeStopsAboveMinimum();

    void pressInsideMarginShrinksFromTopLeft();
    void edgeDragNeverGoesBelowMinimum();
    void titlebarDragMovesWindow();
    void hoverSetsZoneCursor();
    void maximisedIgnoresDragsAndEdgePresses();
    void notResizableIgnoresEdges();
    void buttonStates_data();
    void buttonStates();
    void leavingFullScreenReturnsToMaximised();
    void restoreAfterFullScreenReturnsNormalGeometry();
    void doubleClickTogglesMaximised();
    void doubleClickWithoutMaximiseDoesNothing();
    void doubleClickRestoreKeepsNormalGeometry_data();
    void doubleClickRestoreKeepsNormalGeometry();
    void styleWindowSetsMarginAndShadow();
    void applicationStateFollowsWindowState();
    void closeEmitsCancelDevBeforeClosing();
    void everyCloseEmitsCancelDevOnce_data();
    void everyCloseEmitsCancelDevOnce();
    void helpButtonEmitsShowHelp();
    void worksWithoutStyleSheet();
    void loadsStyleSheetFromResources();
    void contentPlacement();

private:
    std::unique_ptr<FramelessWidget> shownFrame(const QString &styleSheet = QString());
};

void TestFramelessWidget::zoneAt_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<FrameZone>("zone");
    QTest::addColumn<Qt::CursorShape>("cursor");

    QTest::newRow("top-left corner")
        << QPoint(100, 100) << FrameZone::TopLeft << Qt::SizeFDiagCursor;
    QTest::newRow("10 px inside top-left")
        << QPoint(110, 110) << FrameZone::TopLeft << Qt::SizeFDiagCursor;
    QTest::newRow("top-right corner")
        << QPoint(499, 105) << FrameZone::TopRight << Qt::SizeBDiagCursor;
    QTest::newRow("bottom-left corner")
        << QPoint(105, 399) << FrameZone::BottomLeft << Qt::SizeBDiagCursor;
    QTest::newRow("bottom-right corner")
        << QPoint(495, 395) << FrameZone::BottomRight << Qt::SizeFDiagCursor;
    QTest::newRow("top edge") << QPoint(300, 100) << FrameZone::Top << Qt::SizeVerCursor;
    QTest::newRow("top edge inner bound")
        << QPoint(300, 115) << FrameZone::Top << Qt::SizeVerCursor;
    QTest::newRow("below top zone") << QPoint(300, 116) << FrameZone::None << Qt::ArrowCursor;
    QTest::newRow("left edge inner bound")
        << QPoint(115, 250) << FrameZone::Left << Qt::SizeHorCursor;
    QTest::newRow("right of left zone") << QPoint(116, 250) << FrameZone::None << Qt::ArrowCursor;
    QTest::newRow("right edge, one past right")
        << QPoint(500, 250) << FrameZone::Right << Qt::SizeHorCursor;
    QTest::newRow("right edge inner bound")
        << QPoint(485, 250) << FrameZone::Right << Qt::SizeHorCursor;
    QTest::newRow("left of right zone") << QPoint(484, 250) << FrameZone::None << Qt::ArrowCursor;
    QTest::newRow("bottom edge inner bound")
        << QPoint(300, 385) << FrameZone::Bottom << Qt::SizeVerCursor;
    QTest::newRow("above bottom zone") << QPoint(300, 384) << FrameZone::None << Qt::ArrowCursor;
    QTest::newRow("centre") << QPoint(300, 250) << FrameZone::None << Qt::ArrowCursor;
    QTest::newRow("left of the window") << QPoint(99, 250) << FrameZone::None << Qt::ArrowCursor;
}

void TestFramelessWidget::zoneAt()
{
    QFETCH(QPoint, point);
    QFETCH(FrameZone, zone);
    QFETCH(Qt::CursorShape, cursor);

    QCOMPARE(frameZoneAt(kPressGeometry, point), zone);
    QCOMPARE(cursorForZone(zone), cursor);
}

void TestFramelessWidget::resizedGeometry_data()
{
    QTest::addColumn<FrameZone>("zone");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QRect>("expected");

    // Moving edges follow the pointer, the opposite edge stays; a bottom or
    // right edge sets the size from the fixed edge to the pointer.
    QTest::newRow("top-left shrinks, bottom-right stays")
        << FrameZone::TopLeft << QPoint(130, 140) << QRect(QPoint(130, 140), QPoint(499, 399));
    QTest::newRow("top-right") << FrameZone::TopRight << QPoint(600, 50)
                               << QRect(100, 50, 500, 350);
    QTest::newRow("bottom-left") << FrameZone::BottomLeft << QPoint(50, 450)
                                 << QRect(50, 100, 450, 350);
    QTest::newRow("bottom-right") << FrameZone::BottomRight << QPoint(600, 450)
                                  << QRect(100, 100, 500, 350);
    QTest::newRow("top keeps left and right")
        << FrameZone::Top << QPoint(10, 50) << QRect(100, 50, 400, 350);
    QTest::newRow("bottom keeps width")
        << FrameZone::Bottom << QPoint(900, 450) << QRect(100, 100, 400, 350);
    QTest::newRow("left keeps top and bottom")
        << FrameZone::Left << QPoint(50, 5) << QRect(50, 100, 450, 300);
    QTest::newRow("right keeps height")
        << FrameZone::Right << QPoint(600, 900) << QRect(100, 100, 500, 300);
}

void TestFramelessWidget::resizedGeometry()
{
    QFETCH(FrameZone, zone);
    QFETCH(QPoint, pointer);
    QFETCH(QRect, expected);

    const std::optional<QRect> result =
        ::resizedGeometry(kPressGeometry, edgesForZone(zone), pointer, kMinimum);
    QVERIFY(result.has_value());
    QCOMPARE(*result, expected);
}

void TestFramelessWidget::resizeStopsAboveMinimum_data()
{
    QTest::addColumn<QRect>("press");
    QTest::addColumn<ResizeEdges>("edges");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<bool>("applied");

    // Minimum 200 x 150: a new dimension must stay strictly above it.
    const ResizeEdges left = edges(false, true, false, false);
    const ResizeEdges right = edges(false, false, true, false);
    const ResizeEdges top = edges(true, false, false, false);
    const ResizeEdges bottom = edges(false, false, false, true);
    QTest::newRow("left, width 201") << kPressGeometry << left << QPoint(299, 0) << true;
    QTest::newRow("left, width 200 = minimum") << kPressGeometry << left << QPoint(300, 0) << false;
    QTest::newRow("right, width 201") << kPressGeometry << right << QPoint(301, 0) << true;
    QTest::newRow("right, width 200 = minimum")
        << kPressGeometry << right << QPoint(300, 0) << false;
    QTest::newRow("top, height 151") << kPressGeometry << top << QPoint(0, 249) << true;
    QTest::newRow("top, height 150 = minimum") << kPressGeometry << top << QPoint(0, 250) << false;
    QTest::newRow("bottom, height 151") << kPressGeometry << bottom << QPoint(0, 251) << true;
    QTest::newRow("bottom past the top edge") << kPressGeometry << bottom << QPoint(0, 20) << false;
    QTest::newRow("corner with one dimension too small")
        << kPressGeometry << edges(true, true, false, false) << QPoint(130, 300) << false;
    // A window already narrower than the minimum still resizes vertically:
    // only the changing dimension is tested.
    QTest::newRow("top edge ignores the unchanged narrow width")
        << QRect(100, 100, 150, 300) << top << QPoint(0, 50) << true;
    QTest::newRow("no edge") << kPressGeometry << ResizeEdges() << QPoint(600, 600) << false;
}

void TestFramelessWidget::resizeStopsAboveMinimum()
{
    QFETCH(QRect, press);
    QFETCH(ResizeEdges, edges);
    QFETCH(QPoint, pointer);
    QFETCH(bool, applied);

    const std::optional<QRect> result = ::resizedGeometry(press, edges, pointer, kMinimum);
    QCOMPARE(result.has_value(), applied);
    if (result) {
        QVERIFY(!edges.left && !edges.right ? result->width() == press.width()
                                            : result->width() > kMinimum.width());
        QVERIFY(!edges.top && !edges.bottom ? result->height() == press.height()
                                            : result->height() > kMinimum.height());
    }
}

std::unique_ptr<FramelessWidget> TestFramelessWidget::shownFrame(const QString &styleSheet)
{
    auto frame = styleSheet.isEmpty() ? std::make_unique<FramelessWidget>()
                                      : std::make_unique<FramelessWidget>(nullptr, styleSheet);
    frame->setContent(new QLabel(QStringLiteral("内容")));
    frame->setTitle(QStringLiteral("测试"));
    frame->setMinimumSize(300, 250);
    frame->setGeometry(100, 100, 500, 400);
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get()))
        return nullptr;
    frame->styleWindow(true, true);
    frame->setGeometry(100, 100, 500, 400);
    return frame;
}

void TestFramelessWidget::pressInsideMarginShrinksFromTopLeft()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    const QPoint bottomRight = frame->geometry().bottomRight();

    Mouse mouse(frame.get());
    mouse.press(QPoint(110, 110)); // inside the transparent 15-px margin
    QCOMPARE(frame->cursor().shape(), Qt::SizeFDiagCursor);
    mouse.move(QPoint(120, 125));
    mouse.move(QPoint(130, 140));
    QCOMPARE(frame->geometry().topLeft(), QPoint(130, 140));
    QCOMPARE(frame->geometry().bottomRight(), bottomRight);
    mouse.release(QPoint(130, 140));
    QCOMPARE(frame->cursor().shape(), Qt::ArrowCursor);

    // After the release, moves only change the cursor.
    const QRect after = frame->geometry();
    mouse.move(QPoint(300, 300));
    QCOMPARE(frame->geometry(), after);
}

void TestFramelessWidget::edgeDragNeverGoesBelowMinimum()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    const QRect start = frame->geometry();

    // The right edge pulled far to the left, in 10-px steps.
    Mouse mouse(frame.get());
    const QPoint grip(start.right() - 5, start.center().y());
    mouse.press(grip);
    int smallest = start.width();
    for (int x = grip.x() - 10; x > 0; x -= 10) {
        mouse.move(QPoint(x, grip.y()));
        smallest = qMin(smallest, frame->width());
        QVERIFY(frame->width() > frame->minimumWidth());
    }
    mouse.release(QPoint(10, grip.y()));
    // It stopped at the last step above the minimum: 300 < width <= 310.
    QVERIFY2(smallest <= frame->minimumWidth() + 10, qPrintable(QString::number(smallest)));
    QCOMPARE(frame->geometry().topLeft(), start.topLeft());
    QCOMPARE(frame->height(), start.height());
}

void TestFramelessWidget::titlebarDragMovesWindow()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    const QRect start = frame->geometry();
    auto *title = frame->findChild<QLabel *>("label_title");
    QVERIFY(title);

    Mouse mouse(frame.get());
    const QPoint grip = title->mapToGlobal(title->rect().center());
    mouse.drag(grip, grip + QPoint(40, 25));
    QCOMPARE(frame->geometry(), start.translated(40, 25));

    // Moves after the release no longer drag.
    mouse.move(grip + QPoint(90, 90));
    QCOMPARE(frame->geometry(), start.translated(40, 25));
}

void TestFramelessWidget::hoverSetsZoneCursor()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    Mouse mouse(frame.get());
    mouse.move(QPoint(300, 105));
    QCOMPARE(frame->cursor().shape(), Qt::SizeVerCursor);
    mouse.move(QPoint(595, 495));
    QCOMPARE(frame->cursor().shape(), Qt::SizeFDiagCursor);
    mouse.move(QPoint(300, 300));
    QCOMPARE(frame->cursor().shape(), Qt::ArrowCursor);
}

void TestFramelessWidget::maximisedIgnoresDragsAndEdgePresses()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    frame->on_toolButton_max_clicked();
    QVERIFY(frame->isMaximized());
    QTRY_VERIFY(frame->geometry() != QRect(100, 100, 500, 400));
    const QRect maximised = frame->geometry();

    Mouse mouse(frame.get());
    auto *title = frame->findChild<QLabel *>("label_title");
    const QPoint grip = title->mapToGlobal(title->rect().center());
    mouse.drag(grip, grip + QPoint(60, 60));
    QCOMPARE(frame->geometry(), maximised);

    mouse.drag(maximised.topLeft() + QPoint(3, 3), maximised.topLeft() + QPoint(80, 80));
    mouse.drag(maximised.bottomRight() - QPoint(3, 3), maximised.center());
    QCOMPARE(frame->geometry(), maximised);
    QVERIFY(frame->isMaximized());
}

void TestFramelessWidget::notResizableIgnoresEdges()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    frame->setResizable(false);
    const QRect start = frame->geometry();
    Mouse mouse(frame.get());
    mouse.move(QPoint(105, 300));
    QCOMPARE(frame->cursor().shape(), Qt::ArrowCursor);
    mouse.drag(QPoint(105, 300), QPoint(50, 300));
    QCOMPARE(frame->geometry(), start);
}

void TestFramelessWidget::buttonStates_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("shown");

    const QStringList normal = {"toolButton_help", "toolButton_min", "toolButton_max",
                                "toolButton_close"};
    const QStringList maximised = {"toolButton_help", "toolButton_full", "toolButton_min",
                                   "toolButton_restore", "toolButton_close"};
    QTest::newRow("start") << QStringList() << normal;
    QTest::newRow("maximise") << QStringList{"max"} << maximised;
    QTest::newRow("restore") << QStringList{"max", "restore"} << normal;
    QTest::newRow("full screen: exit only")
        << QStringList{"max", "full"} << QStringList{"toolButton_full_exit"};
    QTest::newRow("full-screen exit") << QStringList{"max", "full", "full_exit"} << maximised;
    QTest::newRow("minimise keeps the buttons") << QStringList{"max", "min"} << maximised;
    QTest::newRow("no full screen offered when not allowed")
        << QStringList{"noFull", "max"}
        << QStringList{"toolButton_help", "toolButton_min", "toolButton_restore",
                       "toolButton_close"};
    QTest::newRow("not maximisable: close only")
        << QStringList{"noMax", "noMin", "noHelp"} << QStringList{"toolButton_close"};
}

void TestFramelessWidget::buttonStates()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, shown);

    auto frame = shownFrame();
    QVERIFY(frame);
    for (const QString &step : steps) {
        if (step == "noFull")
            frame->setFullScreenAllowed(false);
        else if (step == "noMax")
            frame->setMaximisable(false);
        else if (step == "noMin")
            frame->setMinimisable(false);
        else if (step == "noHelp")
            frame->setHelpButtonVisible(false);
        else
            QVERIFY(QMetaObject::invokeMethod(
                frame.get(), qPrintable(QStringLiteral("on_toolButton_%1_clicked").arg(step))));
    }
    QCOMPARE(shownButtons(*frame), shown);
    if (steps.contains("noMax"))
        QVERIFY(!frame->isFullScreenAllowed());
}

void TestFramelessWidget::leavingFullScreenReturnsToMaximised()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    frame->on_toolButton_max_clicked();
    QTRY_VERIFY(frame->isMaximized());
    const QRect maximised = frame->geometry();

    frame->on_toolButton_full_clicked();
    QVERIFY(frame->isFullScreen());
    frame->on_toolButton_full_exit_clicked();
    QVERIFY(frame->isMaximized());
    QVERIFY(!frame->isFullScreen());
    QTRY_COMPARE(frame->geometry(), maximised);
}

void TestFramelessWidget::restoreAfterFullScreenReturnsNormalGeometry()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    const QRect normal = frame->geometry();
    frame->on_toolButton_max_clicked();
    frame->on_toolButton_full_clicked();
    frame->on_toolButton_full_exit_clicked();
    frame->on_toolButton_restore_clicked();
    QVERIFY(!frame->isMaximized());
    QTRY_COMPARE(frame->geometry(), normal);
}

void TestFramelessWidget::doubleClickTogglesMaximised()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    auto *title = frame->findChild<QLabel *>("label_title");
    Mouse mouse(frame.get());

    mouse.doubleClick(title->mapToGlobal(title->rect().center()));
    QVERIFY(frame->isMaximized());
    QCOMPARE(frame->layout()->contentsMargins(), QMargins(0, 0, 0, 0));

    frame->on_toolButton_full_clicked();
    mouse.doubleClick(title->mapToGlobal(title->rect().center()));
    QVERIFY(frame->isMaximized());

    mouse.doubleClick(title->mapToGlobal(title->rect().center()));
    QVERIFY(!frame->isMaximized());
    QCOMPARE(frame->layout()->contentsMargins(), QMargins(15, 15, 15, 15));
}

void TestFramelessWidget::doubleClickWithoutMaximiseDoesNothing()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    frame->setMaximisable(false);
    auto *title = frame->findChild<QLabel *>("label_title");
    Mouse(frame.get()).doubleClick(title->mapToGlobal(title->rect().center()));
    QVERIFY(!frame->isMaximized());
}

void TestFramelessWidget::doubleClickRestoreKeepsNormalGeometry_data()
{
    QTest::addColumn<int>("fromTop"); // press height below the title bar's top
    QTest::addColumn<QPoint>("shift");

    // Maximised, the title bar's top rows lie in the top resize zone.
    QTest::newRow("1-px move, press in the top zone") << 5 << QPoint(0, 1);
    QTest::newRow("2-px move, press in the top zone") << 5 << QPoint(2, 2);
    QTest::newRow("1-px move, mid title bar") << 25 << QPoint(1, 0);
}

// Restoring by a double click gives back exactly the normal geometry, and the
// pointer moves that follow neither resize nor drag the window.
void TestFramelessWidget::doubleClickRestoreKeepsNormalGeometry()
{
    QFETCH(int, fromTop);
    QFETCH(QPoint, shift);

    auto frame = shownFrame();
    QVERIFY(frame);
    const QRect normal = frame->geometry();
    frame->on_toolButton_max_clicked();
    QTRY_VERIFY(frame->geometry() != normal);

    auto *titlebar = frame->findChild<QWidget *>("windowTitlebar");
    const QPoint grip = titlebar->mapToGlobal(QPoint(titlebar->width() / 3, fromTop));
    Mouse mouse(frame.get());
    mouse.doubleClickWithMove(grip, shift);
    QVERIFY(!frame->isMaximized());
    QTRY_COMPARE(frame->geometry(), normal);
    mouse.move(grip + shift + QPoint(30, 20));
    QCOMPARE(frame->geometry(), normal);
}

void TestFramelessWidget::styleWindowSetsMarginAndShadow()
{
    FramelessWidget frame;
    auto *windowFrame = frame.findChild<QWidget *>("windowFrame");
    QVERIFY(windowFrame);

    frame.styleWindow(true, true);
    QCOMPARE(frame.layout()->contentsMargins(), QMargins(15, 15, 15, 15));
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(windowFrame->graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->blurRadius(), 9.0);
    QCOMPARE(shadow->offset(), QPointF(0, 0));
    QCOMPARE(shadow->color(), frame.palette().color(QPalette::Highlight));

    frame.styleWindow(false, true);
    shadow = qobject_cast<QGraphicsDropShadowEffect *>(windowFrame->graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->color(), frame.palette().color(QPalette::Shadow));

    frame.styleWindow(true, false);
    QCOMPARE(frame.layout()->contentsMargins(), QMargins(0, 0, 0, 0));
    QVERIFY(!windowFrame->graphicsEffect());
}

void TestFramelessWidget::applicationStateFollowsWindowState()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    auto *windowFrame = frame->findChild<QWidget *>("windowFrame");

    frame->styleWindow(true, false);
    frame->on_applicationStateChanged(Qt::ApplicationInactive);
    QCOMPARE(frame->layout()->contentsMargins(), QMargins(15, 15, 15, 15));
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(windowFrame->graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->color(), frame->palette().color(QPalette::Shadow));

    // Maximised: the application state changes nothing.
    frame->on_toolButton_max_clicked();
    frame->on_applicationStateChanged(Qt::ApplicationActive);
    QCOMPARE(frame->layout()->contentsMargins(), QMargins(0, 0, 0, 0));
    QVERIFY(!windowFrame->graphicsEffect());
}

void TestFramelessWidget::closeEmitsCancelDevBeforeClosing()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    int emitted = 0;
    bool visibleAtEmission = false;
    connect(frame.get(), &FramelessWidget::cancelDev, this, [&] {
        ++emitted;
        visibleAtEmission = frame->isVisible();
    });

    auto *close = frame->findChild<QToolButton *>("toolButton_close");
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(emitted, 1);
    QVERIFY(visibleAtEmission);
    QVERIFY(!frame->isVisible());
}

void TestFramelessWidget::everyCloseEmitsCancelDevOnce_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("close button") << "button";
    QTest::newRow("window manager (Alt+F4, taskbar)") << "window";
    QTest::newRow("close event sent to the frame") << "event";
}

// The device session is logged out however the window goes.
void TestFramelessWidget::everyCloseEmitsCancelDevOnce()
{
    QFETCH(QString, how);
    auto frame = shownFrame();
    QVERIFY(frame);
    QList<bool> shownAtEmission;
    connect(frame.get(), &FramelessWidget::cancelDev, this,
            [&] { shownAtEmission << frame->isVisible(); });

    QCloseEvent close;
    if (how == "button")
        QTest::mouseClick(frame->findChild<QToolButton *>("toolButton_close"), Qt::LeftButton);
    else if (how == "window")
        QVERIFY(frame->windowHandle()->close());
    else
        QApplication::sendEvent(frame.get(), &close);
    QCOMPARE(shownAtEmission, QList<bool>{true});
}

void TestFramelessWidget::helpButtonEmitsShowHelp()
{
    auto frame = shownFrame();
    QVERIFY(frame);
    QSignalSpy help(frame.get(), &FramelessWidget::showHelp);
    QTest::mouseClick(frame->findChild<QToolButton *>("toolButton_help"), Qt::LeftButton);
    QCOMPARE(help.count(), 1);
}

void TestFramelessWidget::worksWithoutStyleSheet()
{
    auto frame = shownFrame(QStringLiteral("/nonexistent/mavo.css"));
    QVERIFY(frame);
    QVERIFY(frame->styleSheet().isEmpty());
    QCOMPARE(frame->title(), QStringLiteral("测试"));

    Mouse mouse(frame.get());
    mouse.drag(QPoint(595, 300), QPoint(555, 300));
    QCOMPARE(frame->geometry(), QRect(100, 100, 455, 400));
    frame->on_toolButton_max_clicked();
    QVERIFY(frame->isMaximized());
}

void TestFramelessWidget::loadsStyleSheetFromResources()
{
    FramelessWidget frame;
    QVERIFY(frame.styleSheet().contains("#windowTitlebar"));
    QVERIFY(frame.styleSheet().contains("icon_window_help.png"));
    auto *icon = frame.findChild<QLabel *>("label_icon");
    QVERIFY(icon);
    const QPixmap pixmap = icon->pixmap(Qt::ReturnByValue);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.size(), QSize(24, 24));
    QCOMPARE(frame.findChild<QLabel *>("label_title")->text(), QStringLiteral("标题"));
}

void TestFramelessWidget::contentPlacement()
{
    FramelessWidget frame;
    frame.setTitle(QStringLiteral("KB-R5530"));
    QCOMPARE(frame.windowTitle(), QStringLiteral("KB-R5530"));
    QCOMPARE(frame.findChild<QLabel *>("label_title")->text(), QStringLiteral("KB-R5530"));

    auto *area = frame.findChild<QWidget *>("windowContent");
    QPointer<QPushButton> first = new QPushButton(QStringLiteral("一"));
    frame.setContent(first);
    QCOMPARE(first->parentWidget(), area);
    QCOMPARE(area->layout()->contentsMargins(), QMargins(0, 0, 0, 0));

    // The layout form wraps the layout in a margin-free widget; the earlier
    // content goes.
    auto *layout = new QGridLayout;
    auto *second = new QPushButton(QStringLiteral("二"));
    layout->addWidget(second);
    frame.setContentLayout(layout);
    QVERIFY(first.isNull());
    QCOMPARE(frame.content(), second->parentWidget());
    QCOMPARE(frame.content()->parentWidget(), area);
    QCOMPARE(frame.content()->contentsMargins(), QMargins(0, 0, 0, 0));
}

QTEST_MAIN(TestFramelessWidget)
#include "tst_framelesswidget.moc"
