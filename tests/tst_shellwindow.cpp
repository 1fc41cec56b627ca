// The tool's window as a window manager meets it: one resize handle (the
// frame's), and forced password dialogs that cannot be minimised away from
// the window they block.

#include "app/startup.h"
#include "protocol/sigledebug.h"
#include "support/screenshots.h"
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
    QTest::addColumn<QString>("action");

    QTest::newRow("login password dialog minimised") << true << "minimise dialog";
    QTest::newRow("Wi-Fi password dialog minimised") << false << "minimise dialog";
    QTest::newRow("main window activated") << true << "activate frame";
    QTest::newRow("main window minimised and restored") << false << "minimise frame";
}

// A forced dialog offers no minimise button, sits above the main window and
// ends shown, not minimised and active whatever happens to either window.
void TestShellWindow::forcedDialogStaysInFront()
{
    QFETCH(bool, login);
    QFETCH(QString, action);

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

    if (action == "minimise dialog") {
        dialog->showMinimized();
    } else if (action == "activate frame") {
        frame->activateWindow();
    } else {
        frame->showMinimized();
        QTRY_VERIFY(frame->isMinimized());
        frame->showNormal();
    }
    QTRY_VERIFY(!dialog->isMinimized());
    QVERIFY(dialog->isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), dialog.data());
}

QTEST_MAIN(TestShellWindow)
#include "tst_shellwindow.moc"
