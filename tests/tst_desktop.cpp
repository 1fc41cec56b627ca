// The window on a real X11 desktop (ctest runs this under Xvfb as
// tst_desktop_xvfb; elsewhere it skips): without a compositing manager the
// frame has no translucent shadow margin, so the screen shows no black band
// around it; with one it keeps its margin and shadow. Saves the login and
// device views as the screen shows them to screenshots/ for the README.
#include "app/startup.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "support/screenshots.h"
#include "ui/device/sigledebug.h"
#include "ui/frame/compositor.h"
#include "ui/frame/framelesswidget.h"

#include <QDir>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace
{

// Announces a compositing manager the way one does (EWMH): a window of its
// own owns _NET_WM_CM_S<screen>. Nothing is composited; only the
// announcement is there.
class CompositorAnnouncement
{
public:
    CompositorAnnouncement()
    {
        int screenNumber = 0;
        connection = xcb_connect(nullptr, &screenNumber);
        const xcb_setup_t *setup = xcb_get_setup(connection);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&screens);
        window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1,
                          0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber);
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, quint16(name.size()), name.constData()),
            nullptr);
        xcb_set_selection_owner(connection, window, atom->atom, XCB_CURRENT_TIME);
        std::free(atom);
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    ~CompositorAnnouncement() { xcb_disconnect(connection); } // gives the selection up

    CompositorAnnouncement(const CompositorAnnouncement &) = delete;
    CompositorAnnouncement &operator=(const CompositorAnnouncement &) = delete;

private:
    xcb_connection_t *connection;
    xcb_window_t window;
};

// The window as the screen shows it, not as the widget renders itself.
QImage screenImage(QWidget *window)
{
    const QRect area = window->frameGeometry();
    return window->screen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The window shows text and controls, and its outermost six pixels are not a
// black band: at most 5 % of them are near black.
bool showsWithoutBlackBand(QWidget *window)
{
    const QImage image = screenImage(window);
    const QRect inner = image.rect().adjusted(6, 6, -6, -6);
    int rim = 0;
    int black = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (inner.contains(x, y))
                continue;
            const QRgb pixel = image.pixel(x, y);
            ++rim;
            black += qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel))) < 24 ? 1 : 0;
        }
    }
    return distinctColours(image) > 20 && black * 20 < rim;
}

QString saveScreenImage(QWidget *window, const QString &name)
{
    window->repaint(); // what the page shows now, not a late paint
    QCoreApplication::processEvents();
    QDir().mkpath(QStringLiteral("screenshots"));
    const QString path = QDir(QStringLiteral("screenshots")).absoluteFilePath(name + ".png");
    return screenImage(window).save(path) ? path : QString();
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowFollowsTheCompositor_data();
    void windowFollowsTheCompositor();

private:
    std::unique_ptr<FramelessWidget> frame;
};

void TestDesktop::init()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X11 desktop: ctest runs it under Xvfb as tst_desktop_xvfb");
}

void TestDesktop::cleanup()
{
    frame.reset();
    PortEnumeration::reset();
    PageDriver::hideBoxes();
}

void TestDesktop::windowFollowsTheCompositor_data()
{
    QTest::addColumn<bool>("compositor");
    QTest::newRow("no compositing manager: no margin, no black band, screenshots") << false;
    QTest::newRow("compositing manager: 15-pixel translucent margin") << true;
}

void TestDesktop::windowFollowsTheCompositor()
{
    QFETCH(bool, compositor);
    std::unique_ptr<CompositorAnnouncement> announcement;
    if (compositor)
        announcement = std::make_unique<CompositorAnnouncement>();
    QCOMPARE(desktopComposites(), compositor);
    ModuleConfig config;
    config.loginPassword = QStringLiteral("Secret_789x");
    ModuleModel model(config);
    model.setWifiPassword(QStringLiteral("Wifi_pass_1"));
    PtyLink link(&model);
    QVERIFY2(link.isOpen(), qPrintable(link.errorString()));
    PortEnumeration::addExtraPort(link.slavePath());

    frame.reset(createMainFrame(link.slavePath()));
    frame->setGeometry(100, 80, 720, 700);
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    const int margin = compositor ? 15 : 0;
    auto *layout = frame->findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    QTRY_COMPARE_WITH_TIMEOUT(layout->contentsMargins(), QMargins(margin, margin, margin, margin),
                              5000);
    QCOMPARE(frame->testAttribute(Qt::WA_TranslucentBackground), compositor);
    if (compositor)
        return; // only announced: nothing here would blend the margin on the screen

    PageDriver driver(frame->findChild<SigleDebug *>());
    QVERIFY(driver.openPort(link.slavePath()));
    QTRY_VERIFY_WITH_TIMEOUT(showsWithoutBlackBand(frame.get()), 10000);
    const QString login = saveScreenImage(frame.get(), QStringLiteral("login_view"));
    driver.login(QStringLiteral("admin"), QStringLiteral("Secret_789x"));
    QVERIFY(driver.inDeviceView());
    QTRY_VERIFY_WITH_TIMEOUT(showsWithoutBlackBand(frame.get()), 10000);
    const QString device = saveScreenImage(frame.get(), QStringLiteral("device_view"));
    QVERIFY(!login.isEmpty() && !device.isEmpty());
    qInfo("screenshots: %s %s", qPrintable(login), qPrintable(device));
    frame->findChild<SigleDebug *>()->on_pushButton_cancel_clicked();
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
