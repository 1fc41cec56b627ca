// The tool's window as a window manager meets it: one resize handle (the
// frame's), and forced password dialogs that cannot be minimised away from
// the window they block.

#include "app/startup.h"
#include "support/screenshots.h"
#include "ui/device/sigledebug.h"
#include "ui/dialogs/loginsetings.h"
#include "ui/dialogs/setpassword.h"
#include "ui/frame/framelesswidget.h"

#include <QApplication>
#include <QPointer>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTest>
#include <QWindow>

#include <memory>

class TestShellWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void statusBarCornerDoesNotResize();
    void forcedDialogStaysInFront_data();
    void forcedDialogStaysInFront();

private:
    std::unique_ptr<FramelessWidget> frame;
};

void TestShellWindow::init()
{
    frame.reset(createMainFrame());
    frame->setGeometry(120, 90, 760, 680);
    frame->show();
    QVERIFY(settleLayouts(frame.get()));
}

// Only the frame resizes the window, by its own rules: a drag from the status
// bar's bottom-right corner, just inside the frame's resize zone, does not.
void TestShellWindow::statusBarCornerDoesNotResize()
{
    const QRect before = frame->geometry();
    auto *status = frame->findChild<QStatusBar *>();
    const QPoint corner = status->mapTo(frame.get(), status->rect().bottomRight() - QPoint(2, 2));
    QWindow *window = frame->windowHandle();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, corner);
    QTest::mouseMove(window, corner - QPoint(30, 20));
    QTest::mouseMove(window, corner - QPoint(60, 40));
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, corner - QPoint(60, 40));
    QCOMPARE(frame->geometry(), before);
    for (const QSizeGrip *grip : frame->findChildren<QSizeGrip *>())
        QVERIFY2(!grip->isVisible(), "a second resize handle is shown");
}

void TestShellWindow::forcedDialogStaysInFront_data()
{
    QTest::addColumn<bool>("login"); // else the Wi-Fi password dialog
    QTest::newRow("login password") << true;
    QTest::newRow("Wi-Fi password") << false;
}

// A forced dialog offers no minimise button and sits above the main window;
// minimised anyway (the window manager offers it regardless), it comes back
// shown and active, so the blocked main window is never left alone.
void TestShellWindow::forcedDialogStaysInFront()
{
    QFETCH(bool, login);

    // Opened as the device page opens it on a factory password.
    auto *page = frame->findChild<SigleDebug *>();
    QPointer<DismissableDialog> dialog;
    if (login)
        dialog = new LoginSetings(QStringLiteral("admin"), QStringLiteral("Initpass_456"), page);
    else
        dialog = new SetPassword(QStringLiteral("Initpass_456"), QStringLiteral("Office"), page);
    dialog->setDismissable(false);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMinimizeButtonHint));
    QCOMPARE(dialog->windowHandle()->transientParent(), frame->windowHandle());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);

    dialog->showMinimized();
    QTRY_VERIFY(!dialog->isMinimized());
    QVERIFY(dialog->isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), dialog.data());
}

QTEST_MAIN(TestShellWindow)
#include "tst_shellwindow.moc"
