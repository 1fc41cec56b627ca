// Renders the tool's window in the login view and in the device view after a
// refresh against the module simulator, and the MAC page at the window's
// minimum and at a large size, to screenshots/*.png in the test's working
// directory, for a person to look at.
#include "app/mainwindow.h"
#include "app/startup.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "ui/device/sigledebug.h"
#include "ui/frame/framelesswidget.h"

#include "support/screenshots.h"
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>

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
