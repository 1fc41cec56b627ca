#include "app/helppage.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "ui/device/sigledebug.h"
#include "ui/frame/framelesswidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>

#include <memory>

namespace
{
const QString DEV_INFO = QStringLiteral("设备信息");
const QString FILE_OPS = QStringLiteral("文件操作");
const QString MAC_MGMT = QStringLiteral("MAC管理");
const QString HELP_DOC = QStringLiteral("帮助文档");

// Makes a fresh folder the working directory for the object's life.
class ScopedWorkingDir
{
public:
    ScopedWorkingDir() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~ScopedWorkingDir() { QDir::setCurrent(previous); }
    bool isValid() const { return dir.isValid(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QString previous;
};
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsOnDevicePageWithOnlyHelp();
    void sessionShowsAndHidesSessionButtons_data();
    void sessionShowsAndHidesSessionButtons();
    void fileOperationsSignalsBeforeSwitching();
    void deviceInfoSwitchesBeforeSignalling();
    void helpButtonShowsHelpAndReturns();
    void helpPageContent_data();
    void helpPageContent();
    void frameIsTitledAndBounded();
    void frameSignalsReachMainWindow();
    void toolkitTextsAreChinese();

private:
    void startWindow();
    MainWindow *mainWindow() const { return qobject_cast<MainWindow *>(frame->content()); }
    SigleDebug *devicePage() const { return mainWindow()->findChild<SigleDebug *>(); }
    QWidget *helpPage() const { return mainWindow()->findChild<help *>(); }
    QWidget *currentPage() const
    {
        return mainWindow()->findChild<QStackedWidget *>("stackedWidget")->currentWidget();
    }
    QToolButton *navButton(const QString &text) const;
    bool isOnlyChecked(const QString &text) const;
    void emitPageSignal(const char *signal) { QMetaObject::invokeMethod(devicePage(), signal); }

    std::unique_ptr<FramelessWidget> frame;
};

void TestMainWindow::init()
{
    startWindow();
}

void TestMainWindow::cleanup()
{
    frame.reset();
}

void TestMainWindow::startWindow()
{
    frame.reset(createMainFrame());
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
}

// The navigation buttons live in the toolbars; the hidden left column has
// its own "帮助文档" entry, which is not one of them.
QToolButton *TestMainWindow::navButton(const QString &text) const
{
    const QList<QToolBar *> bars = mainWindow()->findChildren<QToolBar *>();
    for (QToolBar *bar : bars) {
        const QList<QToolButton *> buttons = bar->findChildren<QToolButton *>();
        for (QToolButton *button : buttons) {
            if (button->text() == text)
                return button;
        }
    }
    return nullptr;
}

bool TestMainWindow::isOnlyChecked(const QString &text) const
{
    for (const QString &each : {DEV_INFO, FILE_OPS, MAC_MGMT, HELP_DOC}) {
        if (navButton(each)->isChecked() != (each == text))
            return false;
    }
    return true;
}

void TestMainWindow::startsOnDevicePageWithOnlyHelp()
{
    for (const QString &text : {DEV_INFO, FILE_OPS, MAC_MGMT}) {
        QVERIFY2(navButton(text), qPrintable(text));
        QVERIFY2(!navButton(text)->isVisible(), qPrintable(text));
    }
    QVERIFY(navButton(HELP_DOC)->isVisible());
    QCOMPARE(currentPage(), devicePage());
    QVERIFY(isOnlyChecked(DEV_INFO));

    // The four pages are stacked once each, in order; the station's button is always there.
    auto *stack = mainWindow()->findChild<QStackedWidget *>("stackedWidget");
    QCOMPARE(stack->count(), 4);
    QCOMPARE(stack->widget(0), devicePage());
    QCOMPARE(stack->widget(2), helpPage());
    QCOMPARE(stack->widget(3)->objectName(), QStringLiteral("stationPage"));
    QVERIFY(navButton(QStringLiteral("产线工位"))->isVisible());

    QVERIFY(!mainWindow()->findChild<QWidget *>("widget_left_nav")->isVisible());
    auto *version = mainWindow()->findChild<QWidget *>("customStatusBar");
    QVERIFY(version && version->isVisible());
    QCOMPARE(version->findChild<QLabel *>()->text(), QStringLiteral("版本号: V1.0.9 "));

    // Every combo box of the pages got a plain list view as popup.
    const QList<QComboBox *> boxes = mainWindow()->findChildren<QComboBox *>();
    QVERIFY(!boxes.isEmpty());
    for (QComboBox *box : boxes)
        QCOMPARE(box->view()->metaObject(), &QListView::staticMetaObject);
}

void TestMainWindow::sessionShowsAndHidesSessionButtons_data()
{
    QTest::addColumn<QString>("pageButton");
    QTest::addColumn<bool>("staysOnHelp");
    QTest::newRow("device information") << DEV_INFO << false;
    QTest::newRow("file operations") << FILE_OPS << false;
    QTest::newRow("MAC management") << MAC_MGMT << false;
    QTest::newRow("help") << HELP_DOC << true;
}

void TestMainWindow::sessionShowsAndHidesSessionButtons()
{
    QFETCH(QString, pageButton);
    QFETCH(bool, staysOnHelp);

    emitPageSignal("gotoOption");
    for (const QString &text : {DEV_INFO, FILE_OPS, MAC_MGMT, HELP_DOC})
        QVERIFY2(navButton(text)->isVisible(), qPrintable(text));

    navButton(pageButton)->click();
    QVERIFY(isOnlyChecked(pageButton));
    emitPageSignal("loginTimeout");

    for (const QString &text : {DEV_INFO, FILE_OPS, MAC_MGMT})
        QVERIFY2(!navButton(text)->isVisible(), qPrintable(text));
    QVERIFY(navButton(HELP_DOC)->isVisible());
    // Without a session the login view is the place to be; help stays open
    // and leads back there.
    if (staysOnHelp) {
        QCOMPARE(currentPage(), helpPage());
        navButton(HELP_DOC)->click();
    }
    QCOMPARE(currentPage(), devicePage());
    QVERIFY(isOnlyChecked(DEV_INFO));
}

void TestMainWindow::fileOperationsSignalsBeforeSwitching()
{
    emitPageSignal("gotoOption");
    navButton(HELP_DOC)->click();
    QWidget *pageAtSignal = nullptr;
    connect(mainWindow(), &MainWindow::isOperateFile, this, [&] { pageAtSignal = currentPage(); });

    navButton(FILE_OPS)->click();

    QCOMPARE(pageAtSignal, helpPage());
    QCOMPARE(currentPage(), devicePage());
    QVERIFY(isOnlyChecked(FILE_OPS));
    // The device page swapped to its file group.
    QVERIFY(devicePage()->findChild<QWidget *>("groupBox_8")->isVisibleTo(devicePage()));
    QVERIFY(!devicePage()->findChild<QWidget *>("groupBox_3")->isVisibleTo(devicePage()));
}

void TestMainWindow::deviceInfoSwitchesBeforeSignalling()
{
    emitPageSignal("gotoOption");
    navButton(FILE_OPS)->click();
    navButton(HELP_DOC)->click();
    QWidget *pageAtSignal = nullptr;
    connect(mainWindow(), &MainWindow::isShowDevInfo, this, [&] { pageAtSignal = currentPage(); });

    navButton(DEV_INFO)->click();

    QCOMPARE(pageAtSignal, devicePage());
    QCOMPARE(currentPage(), devicePage());
    QVERIFY(isOnlyChecked(DEV_INFO));
    QVERIFY(devicePage()->findChild<QWidget *>("groupBox_3")->isVisibleTo(devicePage()));
    QVERIFY(!devicePage()->findChild<QWidget *>("groupBox_8")->isVisibleTo(devicePage()));
}

void TestMainWindow::helpButtonShowsHelpAndReturns()
{
    QToolButton *helpButton = navButton(HELP_DOC);
    helpButton->click();
    QCOMPARE(currentPage(), helpPage());
    QVERIFY(isOnlyChecked(HELP_DOC));
    // The title bar's help button does not leave help.
    emit frame->showHelp();
    QCOMPARE(currentPage(), helpPage());
    QVERIFY(isOnlyChecked(HELP_DOC));
    helpButton->click();
    QCOMPARE(currentPage(), devicePage());
    QVERIFY(isOnlyChecked(DEV_INFO));

    // From the MAC page and back to it.
    emitPageSignal("gotoOption");
    navButton(MAC_MGMT)->click();
    QWidget *macPage = currentPage();
    QVERIFY(macPage != devicePage() && macPage != helpPage());
    emit frame->showHelp();
    QCOMPARE(currentPage(), helpPage());
    helpButton->click();
    QCOMPARE(currentPage(), macPage);
    QVERIFY(isOnlyChecked(MAC_MGMT));
}

void TestMainWindow::helpPageContent_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("notShown");

    QTest::newRow("no file") << false << QByteArray() << QString() << QString();
    QTest::newRow("chinese html")
        << true
        << QByteArray(
               "<html><body><h1>\xE8\xBF\x9E\xE6\x8E\xA5</h1><p>230400 8N1</p></body></html>")
        << QStringLiteral("连接\n230400 8N1") << QStringLiteral("<h1>");
    QTest::newRow("cut at nul") << true << QByteArray("<p>before</p>\0<p>after</p>", 26)
                                << QStringLiteral("before") << QStringLiteral("after");
}

void TestMainWindow::helpPageContent()
{
    QFETCH(bool, fileExists);
    QFETCH(QByteArray, content);
    QFETCH(QString, shown);
    QFETCH(QString, notShown);

    frame.reset();
    ScopedWorkingDir workDir;
    QVERIFY(workDir.isValid());
    if (fileExists) {
        QFile file(workDir.filePath(QStringLiteral("help.html")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }
    startWindow();

    auto *browser = helpPage()->findChild<QTextBrowser *>("textBrowser");
    QVERIFY(browser->openExternalLinks());
    const QString text = browser->toPlainText();
    if (shown.isEmpty())
        QVERIFY2(text.isEmpty(), qPrintable(text));
    else
        QCOMPARE(text, shown);
    if (!notShown.isEmpty())
        QVERIFY(!text.contains(notShown));
    // No message box or other window came up.
    int visibleWindows = 0;
    for (QWidget *window : QApplication::topLevelWidgets())
        visibleWindows += window->isVisible() ? 1 : 0;
    QCOMPARE(visibleWindows, 1);
}

void TestMainWindow::frameIsTitledAndBounded()
{
    QCOMPARE(frame->windowTitle(), QStringLiteral("KB-R5530"));
    QCOMPARE(frame->title(), QStringLiteral("KB-R5530"));
    QVERIFY(mainWindow());
    QCOMPARE(frame->minimumSize(), QSize(580, 610));
    frame->resize(300, 200);
    QVERIFY(frame->width() >= 580);
    QVERIFY(frame->height() >= 610);
}

void TestMainWindow::frameSignalsReachMainWindow()
{
    QSignalSpy sessionEnded(devicePage(), &SigleDebug::loginTimeout);
    emitPageSignal("gotoOption");
    emit frame->cancelDev();
    QCOMPARE(sessionEnded.count(), 1);
    QVERIFY(!navButton(DEV_INFO)->isVisible());

    emit frame->showHelp();
    QCOMPARE(currentPage(), helpPage());

    // Closing the window logs the device page out first.
    frame->on_toolButton_close_clicked();
    QCOMPARE(sessionEnded.count(), 2);
    QVERIFY(!frame->isVisible());
}

void TestMainWindow::toolkitTextsAreChinese()
{
    const QString before = QCoreApplication::translate("QPlatformTheme", "Cancel");
    installToolkitTranslation(*qApp);
    const QString after = QCoreApplication::translate("QPlatformTheme", "Cancel");
    QCOMPARE(before, QStringLiteral("Cancel"));
    QVERIFY2(after != before, qPrintable(after));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
