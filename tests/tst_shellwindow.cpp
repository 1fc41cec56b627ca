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

namespace
{

const QRect kNormalGeometry(120, 90, 760, 680);

DismissableDialog *openForcedDialog(const QString &kind, QWidget *page)
{
    DismissableDialog *dialog = nullptr;
    if (kind == "login")
        dialog = new LoginSetings(QStringLiteral("admin"), QStringLiteral("Initpass_456"), page);
    else
        dialog = new SetPassword(QStringLiteral("Initpass_456"), QStringLiteral("Office"), page);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setDismissable(false); // as the page does on a factory password
    return dialog;
}

} // namespace

class TestShellWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void onlyTheFrameResizes_data();
    void onlyTheFrameResizes();
    void forcedDialogStaysInFront_data();
    void forcedDialogStaysInFront();

private:
    std::unique_ptr<FramelessWidget> frame;
};

void TestShellWindow::init()
{
    frame.reset(createMainFrame());
    frame->setGeometry(kNormalGeometry);
    frame->show();
    QVERIFY(settleLayouts(frame.get()));
}

void TestShellWindow::cleanup()
{
    frame.reset();
}

void TestShellWindow::onlyTheFrameResizes_data()
{
    QTest::addColumn<bool>("maximised");
    QTest::addColumn<QPoint>("drag");

    QTest::newRow("normal, outwards") << false << QPoint(60, 40);
    QTest::newRow("normal, inwards") << false << QPoint(-60, -40);
    QTest::newRow("maximised, inwards") << true << QPoint(-60, -40);
}

// A drag started on the status bar's bottom-right corner, just inside the
// frame's own resize zone, leaves the window as it is.
void TestShellWindow::onlyTheFrameResizes()
{
    QFETCH(bool, maximised);
    QFETCH(QPoint, drag);

    if (maximised) {
        frame->on_toolButton_max_clicked();
        QTRY_VERIFY(frame->geometry() != kNormalGeometry);
        QVERIFY(settleLayouts(frame.get()));
    }
    const QRect before = frame->geometry();

    auto *status = frame->findChild<QStatusBar *>();
    QVERIFY(status);
    const QPoint corner = status->mapTo(frame.get(), status->rect().bottomRight() - QPoint(2, 2));
    QWindow *window = frame->windowHandle();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, corner);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(window, corner + drag * step / 4);
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, corner + drag);
    QCOMPARE(frame->geometry(), before);
    for (const QSizeGrip *grip : frame->findChildren<QSizeGrip *>())
        QVERIFY2(!grip->isVisible(), "a second resize handle is shown");
}

void TestShellWindow::forcedDialogStaysInFront_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("action");

    for (const char *kind : {"login", "wifi"}) {
        const QString name = kind == QLatin1String("login") ? "login password" : "Wi-Fi password";
        QTest::newRow(qPrintable(name + ", shown")) << kind << "none";
        QTest::newRow(qPrintable(name + ", minimised")) << kind << "minimise dialog";
        QTest::newRow(qPrintable(name + ", main window activated")) << kind << "activate frame";
        QTest::newRow(qPrintable(name + ", main window minimised and restored"))
            << kind << "minimise frame";
    }
}

// The forced dialog offers no minimise button, sits above the main window,
// and whatever happens to either window it ends shown, not minimised and
// active, so the blocked main window is never left alone.
void TestShellWindow::forcedDialogStaysInFront()
{
    QFETCH(QString, kind);
    QFETCH(QString, action);

    auto *page = frame->findChild<SigleDebug *>();
    QVERIFY(page);
    QPointer<DismissableDialog> dialog = openForcedDialog(kind, page);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(dialog->windowType(), Qt::Dialog);
    QCOMPARE(dialog->windowHandle()->transientParent(), frame->windowHandle());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);

    if (action == "minimise dialog") {
        dialog->showMinimized();
    } else if (action == "activate frame") {
        frame->activateWindow();
    } else if (action == "minimise frame") {
        frame->showMinimized();
        QTRY_VERIFY(frame->isMinimized());
        frame->showNormal();
    }
    QTRY_VERIFY(!dialog->isMinimized());
    QVERIFY(dialog->isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), dialog.data());
    QVERIFY(!dialog->isDismissable());

    dialog->done(QDialog::Accepted);
    QTRY_VERIFY(dialog.isNull());
}

QTEST_MAIN(TestShellWindow)
#include "tst_shellwindow.moc"
