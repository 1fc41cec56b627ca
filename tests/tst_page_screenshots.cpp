// Renders the tool's window in the login view and in the device view after a
// refresh against the module simulator, to screenshots/*.png in the test's
// working directory, for a person to look at.
#include "app/startup.h"
#include "protocol/sigledebug.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "ui/frame/framelesswidget.h"

#include "support/screenshots.h"
#include <QDir>
#include <QImage>
#include <QSet>

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

QTEST_MAIN(TestPageScreenshots)
#include "tst_page_screenshots.moc"
