// Renders the tool's window in the login view and in the device view after a
// refresh against the module simulator, the file page during an upgrade,
// after its cancel and after a log pull, and the MAC page at the window's
// minimum and at a large size, to screenshots/*.png in the test's working
// directory, for a person to look at.
#include "app/mainwindow.h"
#include "app/startup.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "ui/device/filechoice.h"
#include "ui/device/sigledebug.h"
#include "ui/frame/framelesswidget.h"

#include "support/screenshots.h"
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>

#include <QtTest>

#include <memory>

namespace
{

} // namespace

class TestPageScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void loginAndDeviceViews();
    void fileViews();
    void macPageFits_data();
    void macPageFits();

private:
    QString save(QWidget *window, const QString &name);
};

QString TestPageScreenshots::save(QWidget *window, const QString &name)
{
    QDir().mkpath(QStringLiteral("screenshots"));
    const QString path = QDir(QStringLiteral("screenshots")).absoluteFilePath(name + ".png");
    const QImage image = grabSettled(window);
    if (image.isNull() || !image.save(path))
        return QString();
    return distinctColours(image) > 20 ? path : QString();
}

void TestPageScreenshots::loginAndDeviceViews()
{
    ModuleConfig config;
    config.loginPassword = QStringLiteral("Secret_789x");
    ModuleModel model(config);
    model.setWifiPassword(QStringLiteral("Wifi_pass_1"));
    PtyLink link(&model);
    QVERIFY(link.isOpen());
    PortEnumeration::addExtraPort(link.slavePath());

    std::unique_ptr<FramelessWidget> frame(createMainFrame());
    frame->resize(720, 700);
    frame->show();
    auto *page = frame->findChild<SigleDebug *>();
    QVERIFY(page);
    PageDriver driver(page);
    QVERIFY(driver.openPort(link.slavePath()));
    const QString login = save(frame.get(), QStringLiteral("login_view"));
    QVERIFY2(!login.isEmpty(), "login view not rendered");
    // Grabbed with the frame's margin and the status bar laid out.
    QCOMPARE(frame->findChild<QWidget *>("windowFrame")->pos(), QPoint(15, 15));
    auto *version = frame->findChild<QWidget *>("customStatusBar");
    QVERIFY(version);
    // The version label sits at the right end of the status bar.
    QVERIFY(version->mapTo(frame.get(), QPoint(version->width(), 0)).x() > frame->width() - 40);

    driver.login(QStringLiteral("admin"), QStringLiteral("Secret_789x"));
    QVERIFY(driver.inDeviceView());
    QCOMPARE(driver.labelText("label_softVer"), QString("V1.2.5"));
    const QString device = save(frame.get(), QStringLiteral("device_view"));
    QVERIFY2(!device.isEmpty(), "device view not rendered");
    qInfo("screenshots: %s %s", qPrintable(login), qPrintable(device));

    page->on_pushButton_cancel_clicked();
    PortEnumeration::reset();
    PageDriver::hideBoxes();
}

// An upgrade at the line's own speed, shown running and after "取消"; then a
// log pull: the firmware file stays chosen, the folder stays a folder, no bar
// is left behind.
void TestPageScreenshots::fileViews()
{
    QTemporaryDir dir;
    QFile image(dir.filePath(QStringLiteral("fw.bin")));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.write(QByteArray(96 * 1024, 'x')) > 0);
    image.close();
    ModuleConfig config;
    config.loginPassword = QStringLiteral("Secret_789x");
    config.logSize = 5000;
    ModuleModel model(config);
    model.setWifiPassword(QStringLiteral("Wifi_pass_1"));
    PtyLink link(&model);
    QVERIFY(link.isOpen());
    link.setLineRate(230400);
    PortEnumeration::addExtraPort(link.slavePath());
    FileChoice::setOverride([&](FileChoice::Kind kind) {
        return kind == FileChoice::Kind::FirmwareFile ? image.fileName() : dir.path();
    });
    std::unique_ptr<FramelessWidget> frame(createMainFrame());
    frame->show();
    auto *page = frame->findChild<SigleDebug *>();
    PageDriver driver(page);
    QVERIFY(driver.openPort(link.slavePath()));
    driver.login(QStringLiteral("admin"), QStringLiteral("Secret_789x"));
    QVERIFY(driver.inDeviceView());
    page->showOperateFile();
    for (const char *choice : {"pushButton_scan", "pushButton_directory", "pushButton_start"})
        driver.button(choice)->click();
    auto *bar = driver.widget<QProgressBar>("progressBar");
    QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible() && bar->value() >= 10, 10000);
    QVERIFY(!save(frame.get(), QStringLiteral("upgrade_running")).isEmpty());
    driver.button("pushButton_start")->click();
    auto *log = driver.widget<QTextEdit>("textEdit");
    QTRY_COMPARE_WITH_TIMEOUT(log->toPlainText(), QString("主节点已强制终止传输"), 2000);
    QVERIFY(!save(frame.get(), QStringLiteral("upgrade_cancelled")).isEmpty());

    driver.button("pushButton_getLog")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!driver.button("pushButton_getLog")->isChecked(), 10000);
    QVERIFY2(log->toPlainText().startsWith("设备文件传输完成！"), qPrintable(log->toPlainText()));
    QVERIFY(!driver.isShown("progressBar") && !driver.isShown("progressBar_2"));
    QCOMPARE(driver.widget<QLineEdit>("lineEdit_savePath")->text(), dir.path());
    QVERIFY(driver.button("pushButton_start")->isEnabled());
    QVERIFY(!save(frame.get(), QStringLiteral("after_log_pull")).isEmpty());
    page->on_pushButton_cancel_clicked();
    FileChoice::setOverride(nullptr);
    PortEnumeration::reset();
    PageDriver::hideBoxes();
}

void TestPageScreenshots::macPageFits_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("default size") << QSize(); // as the tool starts
    QTest::newRow("minimum size") << QSize(580, 610);
    QTest::newRow("1280 x 1024") << QSize(1280, 1024);
}

// At least eight table rows, every column and the whole pager on screen; before any search
// the pager reads page 0 of 0.
void TestPageScreenshots::macPageFits()
{
    QFETCH(QSize, size);
    std::unique_ptr<FramelessWidget> frame(createMainFrame());
    if (size.isValid())
        frame->resize(size);
    frame->show();
    frame->findChild<MainWindow *>()->toolButton3_clicked();
    const QString name =
        QStringLiteral("mac_page_%1").arg(QTest::currentDataTag()).replace(' ', '_');
    QVERIFY2(!save(frame.get(), name).isEmpty(), "MAC page not rendered");
    QVERIFY(!size.isValid() || frame->size() == size);

    auto *table = frame->findChild<QTableWidget *>("tableWidget");
    QVERIFY(table->viewport()->height() >= 8 * table->verticalHeader()->defaultSectionSize());
    QVERIFY(table->horizontalHeader()->length() <= table->viewport()->width());
    const QRect window = frame->findChild<QWidget *>("windowContent")->rect();
    for (const char *pager : {"pushButton_up", "pushButton_down", "label_current", "label_sum"}) {
        auto *widget = frame->findChild<QWidget *>(pager);
        const QRect shown(widget->mapTo(frame->findChild<QWidget *>("windowContent"), QPoint()),
                          widget->size());
        QVERIFY2(widget->isVisible() && window.contains(shown), pager);
    }
    QCOMPARE(frame->findChild<QLabel *>("label_current")->text(), QStringLiteral("0"));
    QCOMPARE(frame->findChild<QLabel *>("label_sum")->text(), QStringLiteral("0"));
}

QTEST_MAIN(TestPageScreenshots)
#include "tst_page_screenshots.moc"
