// The device page against the module simulator on a pseudo-terminal: login
// under both credential schemes, the module's session codes, the forced
// password changes, the refresh and its failure paths.
#include "protocol/deviceinfo.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "ui/boxes/custombox.h"
#include "ui/device/sigledebug.h"
#include "ui/dialogs/loginsetings.h"
#include "ui/dialogs/setpassword.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace
{

const QString ACCOUNT = QStringLiteral("admin");
const QString FACTORY = QStringLiteral("Initpass_456");
const QString LOGIN_PASSWORD = QStringLiteral("Secret_789x");
const QString WIFI_PASSWORD = QStringLiteral("Wifi_pass_1");

// Runs `act` on the first visible dialog of type T below `parent`, polling
// from the event loop: the page's dialogs open once the line has answered.
template <typename T> void whenDialogShown(QWidget *parent, std::function<void(T *)> act)
{
    auto *poll = new QTimer(parent);
    QObject::connect(poll, &QTimer::timeout, parent, [=] {
        for (T *dialog : parent->findChildren<T *>()) {
            if (dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                act(dialog);
                return;
            }
        }
    });
    poll->start(20);
}

void setField(QWidget *dialog, const char *name, const QString &text)
{
    dialog->findChild<QLineEdit *>(QString::fromLatin1(name))->setText(text);
}

QPushButton *dialogButton(QWidget *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QString::fromLatin1(name));
}

int countFrames(const ModuleModel &model, const QByteArray &prefix)
{
    int count = 0;
    for (const QByteArray &frame : model.receivedFrames())
        count += frame.startsWith(prefix) ? 1 : 0;
    return count;
}

const QByteArray LOGIN_PREFIX = QByteArray::fromHex("0110007d");
const QByteArray VERSION_READ = QByteArray::fromHex("010300000002");
const QByteArray UART_READ = QByteArray::fromHex("010300200005");
const QByteArray WIFI_READ = QByteArray::fromHex("01030031003a");
const QByteArray FE_READ = QByteArray::fromHex("010300710007");

} // namespace

class TestSigleDebugSession : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void loginShowsEveryValueInItsFormattedForm();
    void olderFirmwareFallsBackToTheAesScheme();
    void wrongPasswordAndLockout();
    void sessionCodesEndTheSession_data();
    void sessionCodesEndTheSession();
    void factoryLoginPasswordForcesTheChange();
    void factoryWifiPasswordOpensTheWifiDialog();
    void credentialChangeReturnsToTheLoginView();
    void versionTimeOutEndsTheSessionWithoutOtherReads_data();
    void versionTimeOutEndsTheSessionWithoutOtherReads();
    void checksumFailuresRepeatUpToTheBound();
    void buttonsComeBackAfterThePauseWhenReadsFail();
    void replyShapesStillDecode_data();
    void replyShapesStillDecode();
    void leftoverBytesNeverCount();

private:
    void start(ModuleConfig config = ModuleConfig(), bool defaultWifiPassword = false);
    void loginAndExpectDeviceView(const QString &password);

    std::unique_ptr<ModuleModel> model;
    std::unique_ptr<PtyLink> link;
    std::unique_ptr<SigleDebug> page;
    std::unique_ptr<PageDriver> driver;
};

void TestSigleDebugSession::start(ModuleConfig config, bool defaultWifiPassword)
{
    if (config.loginPassword == FACTORY)
        config.loginPassword = LOGIN_PASSWORD;
    model = std::make_unique<ModuleModel>(config);
    if (!defaultWifiPassword)
        model->setWifiPassword(WIFI_PASSWORD);
    link = std::make_unique<PtyLink>(model.get());
    QVERIFY2(link->isOpen(), qPrintable(link->errorString()));
    PortEnumeration::addExtraPort(link->slavePath());
    page = std::make_unique<SigleDebug>();
    driver = std::make_unique<PageDriver>(page.get());
    page->show();
    QVERIFY(driver->openPort(link->slavePath()));
}

void TestSigleDebugSession::loginAndExpectDeviceView(const QString &password)
{
    driver->login(ACCOUNT, password);
    QVERIFY2(driver->inDeviceView(), qPrintable(PageDriver::warningText()));
}

void TestSigleDebugSession::cleanup()
{
    page.reset();
    driver.reset();
    link.reset();
    model.reset();
    PortEnumeration::reset();
    PageDriver::hideBoxes();
}

void TestSigleDebugSession::loginShowsEveryValueInItsFormattedForm()
{
    start();
    QSignalSpy started(page.get(), &SigleDebug::gotoOption);
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    QCOMPARE(started.count(), 1);
    QCOMPARE(countFrames(*model, LOGIN_PREFIX), 1); // no fallback needed

    const PageDriver &d = *driver;
    QCOMPARE(d.labelText("label_softVer"), QString("V1.2.5"));
    QCOMPARE(d.labelText("label_hardVer"), QString("V3"));
    QCOMPARE(page->currentSoftwareVersion(), QString("125"));
    QCOMPARE(d.labelText("label_baudrate"), QString("115200"));
    QCOMPARE(d.labelText("label_databit"), QString("8"));
    QCOMPARE(d.labelText("label_stopbit"), QString("1"));
    QCOMPARE(d.labelText("label_parity"), QString("无校验"));
    QCOMPARE(d.labelText("label_SSID"), model->ssid());
    QCOMPARE(d.labelText("label_channel"), QString("6"));
    QCOMPARE(d.labelText("label_bandwidth"), QString("20MHz"));
    QCOMPARE(d.labelText("label_encryption"), QString("WPA2-PSK"));
    QCOMPARE(d.wifiPasswordText(), WIFI_PASSWORD);
    QCOMPARE(d.labelText("label_wifiIp"), QString("192.168.4.1"));
    QCOMPARE(d.labelText("label_wifiMask"), QString("255.255.255.0"));
    QCOMPARE(d.labelText("label_wifiMac"), formatMacColons(model->wifiMac()));
    QCOMPARE(d.labelText("label_FeIP"), QString("192.168.1.100"));
    QCOMPARE(d.labelText("label_FeMask"), QString("255.255.255.0"));
    QCOMPARE(d.labelText("label_feMac"), formatMacColons(model->feMac()));
    QVERIFY(d.labelText("label_wifiMac") != d.labelText("label_feMac"));
    for (const char *enabled : {"pushButton_refresh", "pushButton_setSSID", "pushButton_encryption",
                                "pushButton_scan", "pushButton_directory"})
        QVERIFY2(d.button(enabled)->isEnabled(), enabled);
    QVERIFY(model->sessionOpen());
}

void TestSigleDebugSession::olderFirmwareFallsBackToTheAesScheme()
{
    ModuleConfig config;
    config.softwareVersion = 124;
    start(config);
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    // The version is unknown before the first login: derived first, refused, then AES-only.
    QCOMPARE(countFrames(*model, LOGIN_PREFIX), 2);
    QCOMPARE(page->currentSoftwareVersion(), QString("124"));
    QCOMPARE(driver->labelText("label_softVer"), QString("V1.2.4"));

    page->on_pushButton_cancel_clicked();
    QVERIFY(driver->inLoginView());
    model->clearReceivedFrames();
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    QCOMPARE(countFrames(*model, LOGIN_PREFIX), 1); // the known version picks AES-only at once
}

void TestSigleDebugSession::wrongPasswordAndLockout()
{
    start();
    QSignalSpy enter(page.get(), &SigleDebug::enableEnter);
    driver->login(ACCOUNT, QStringLiteral("wrong_pass_1"));
    QVERIFY(driver->inLoginView());
    QCOMPARE(PageDriver::warningText(), QString("设备登录账号或密码错误！"));
    QCOMPARE(countFrames(*model, LOGIN_PREFIX), 2); // derived, then the AES-only fallback
    QVERIFY(driver->enterButton()->isEnabled());
    QVERIFY(enter.count() >= 1 && enter.last().at(0).toBool());

    driver->login(ACCOUNT, QStringLiteral("wrong_pass_2"));
    QCOMPARE(PageDriver::warningText(), QString("连续3次账号或密码错误，账号锁定！"));
    QVERIFY(model->accountLocked());
    driver->login(ACCOUNT, LOGIN_PASSWORD);
    QVERIFY(driver->inLoginView());
    QCOMPARE(PageDriver::warningText(), QString("连续3次账号或密码错误，账号锁定！"));
}

void TestSigleDebugSession::sessionCodesEndTheSession_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0x13 login timed out") << 0x13 << "登录超时！";
    QTest::newRow("0x15 illegal operation") << 0x15 << "非法操作！";
}

void TestSigleDebugSession::sessionCodesEndTheSession()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    start();
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    QSignalSpy ended(page.get(), &SigleDebug::loginTimeout);
    model->answerNextWithError(quint8(code));
    driver->refresh();
    QCOMPARE(PageDriver::warningText(), text);
    QVERIFY(driver->inLoginView());
    QVERIFY(ended.count() >= 1);
}

void TestSigleDebugSession::factoryLoginPasswordForcesTheChange()
{
    start();
    auto *account = page->findChild<QLineEdit *>("lineEdit_id");
    QCOMPARE(page->focusWidget(), account); // since the port opened
    model->setLoginPassword(FACTORY);
    const QString newPassword = QStringLiteral("NewPass_2024");
    bool wasDismissable = true;
    whenDialogShown<LoginSetings>(page.get(), [&](LoginSetings *dialog) {
        wasDismissable = dialogButton(dialog, "pushButton_cancel")->isEnabled();
        dialog->reject(); // refused: the dialog stays
        setField(dialog, "lineEdit_oldKey", FACTORY);
        setField(dialog, "lineEdit_newKey", newPassword);
        setField(dialog, "lineEdit_newKey_2", newPassword);
        dialogButton(dialog, "pushButton_sure")->click();
    });
    driver->login(ACCOUNT, FACTORY);

    QTRY_COMPARE_WITH_TIMEOUT(PageDriver::infoText(), QString("设置成功，请重新登录！"), 10000);
    QVERIFY(!wasDismissable);
    QVERIFY(CustomWarningBoxTips::instance());
    QCOMPARE(CustomWarningBoxTips::instance()->mainText(),
             QString("登陆密码为初始密码，需要修改！"));
    QCOMPARE(PageDriver::infoText(), QString("设置成功，请重新登录！"));
    QVERIFY(driver->inLoginView());
    QVERIFY(model->acceptsLoginPassword(newPassword));
    QCOMPARE(page->focusWidget(), account);
    CustomWarningBoxTips::instance()->hide();

    loginAndExpectDeviceView(newPassword);
}

void TestSigleDebugSession::factoryWifiPasswordOpensTheWifiDialog()
{
    start(ModuleConfig(), true);
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    QTRY_VERIFY_WITH_TIMEOUT(!page->findChildren<SetPassword *>().isEmpty(), 2000);
    SetPassword *dialog = page->findChildren<SetPassword *>().first();
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialogButton(dialog, "pushButton_Cancel")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(
        [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (qobject_cast<CustomWarningBoxTipsTwo *>(w) && w->isVisible())
                    return true;
            return false;
        }(),
        2000);

    const QString newPassword = QStringLiteral("Wifi_New_99");
    setField(dialog, "lineEdit_3", FACTORY);
    setField(dialog, "lineEdit", newPassword);
    setField(dialog, "lineEdit_2", newPassword);
    dialogButton(dialog, "pushButton_OK")->click();
    // The module takes the password before the page hears its reply.
    QTRY_COMPARE_WITH_TIMEOUT(PageDriver::infoText(), QString("设置成功！"), 5000);
    QCOMPARE(model->wifiPassword(), newPassword);
    QCOMPARE(driver->wifiPasswordText(), newPassword); // not the old one's length
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<CustomWarningBoxTipsTwo *>(w))
            w->close();
}

void TestSigleDebugSession::credentialChangeReturnsToTheLoginView()
{
    start();
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    QSignalSpy ended(page.get(), &SigleDebug::loginTimeout);
    const QString newPassword = QStringLiteral("Other_Pass_42");
    QTest::mouseClick(driver->button("pushButton_loginSettings"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!page->findChildren<LoginSetings *>().isEmpty(), 1000);
    LoginSetings *dialog = page->findChildren<LoginSetings *>().first();
    QVERIFY(dialogButton(dialog, "pushButton_cancel")->isEnabled());
    setField(dialog, "lineEdit_oldKey", LOGIN_PASSWORD);
    setField(dialog, "lineEdit_newKey", newPassword);
    setField(dialog, "lineEdit_newKey_2", newPassword);
    dialogButton(dialog, "pushButton_sure")->click();

    QTRY_COMPARE_WITH_TIMEOUT(PageDriver::infoText(), QString("设置成功，请重新登录！"), 5000);
    QVERIFY(driver->inLoginView());
    QCOMPARE(ended.count(), 1);
    QVERIFY(model->acceptsLoginPassword(newPassword));
    QVERIFY(!model->sessionOpen());
}

void TestSigleDebugSession::versionTimeOutEndsTheSessionWithoutOtherReads_data()
{
    QTest::addColumn<int>("lateByMs"); // 0: the reply is lost
    QTest::newRow("reply lost") << 0;
    QTest::newRow("reply 900 ms late") << 900; // well past the 500 ms limit
}

void TestSigleDebugSession::versionTimeOutEndsTheSessionWithoutOtherReads()
{
    QFETCH(int, lateByMs);
    start();
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    QSignalSpy ended(page.get(), &SigleDebug::loginTimeout);
    model->clearReceivedFrames();
    if (lateByMs > 0)
        link->setReplyDelayMs(lateByMs);
    else
        model->dropNextReply();
    driver->refresh();
    QCOMPARE(PageDriver::warningText(), QString("读取版本超时！"));
    QVERIFY(driver->inLoginView());
    QCOMPARE(ended.count(), 1);
    QCOMPARE(countFrames(*model, VERSION_READ), 1);
    QCOMPARE(countFrames(*model, UART_READ), 0);
    QCOMPARE(countFrames(*model, WIFI_READ), 0);
    QCOMPARE(countFrames(*model, FE_READ), 0);
}

void TestSigleDebugSession::checksumFailuresRepeatUpToTheBound()
{
    start();
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    model->clearReceivedFrames();
    // Every Wi-Fi reply from now on fails its checksum; the other blocks are fine.
    bool armed = false;
    connect(model.get(), &ModuleModel::requestTaken, this, [&](const QByteArray &unit) {
        if (unit.startsWith(WIFI_READ) && !armed) {
            armed = true;
            model->corruptNextReplies(100);
        }
    });
    QElapsedTimer clock;
    clock.start();
    driver->refresh();
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(countFrames(*model, WIFI_READ), 1 + SigleDebug::MAX_CHECKSUM_REPEATS);
    QCOMPARE(countFrames(*model, FE_READ), 0);
    QCOMPARE(PageDriver::warningText(), QString("读取Wifi参数校验错误！"));
    QCOMPARE(driver->labelText("label_SSID"), QString("******"));
    QCOMPARE(driver->labelText("label_softVer"), QString("V1.2.5")); // earlier blocks kept
    QVERIFY(driver->inDeviceView());
    QVERIFY(driver->button("pushButton_refresh")->isEnabled());
}

void TestSigleDebugSession::buttonsComeBackAfterThePauseWhenReadsFail()
{
    start();
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    model->answerNextWithError(0x04);
    QElapsedTimer clock;
    clock.start();
    driver->refresh();
    QVERIFY(clock.elapsed() >= 1000);
    QCOMPARE(PageDriver::warningText(), QString("设备故障！"));
    QVERIFY(driver->inDeviceView());
    QCOMPARE(driver->labelText("label_softVer"), QString("******"));
    for (const char *enabled :
         {"pushButton_refresh", "pushButton_setSSID", "pushButton_encryption"})
        QVERIFY2(driver->button(enabled)->isEnabled(), enabled);
}

void TestSigleDebugSession::replyShapesStillDecode_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("one byte at a time") << 1 << 0;
    QTest::newRow("seven-byte chunks") << 7 << 0;
    // Delays stay well inside the 500 ms limit even at sanitizer speed, where
    // the way from the click to the module alone can take 150 ms.
    QTest::newRow("delayed 150 ms") << 0 << 150;
    QTest::newRow("one byte at a time, delayed 100 ms") << 1 << 100;
}

void TestSigleDebugSession::replyShapesStillDecode()
{
    QFETCH(int, chunk);
    QFETCH(int, delayMs);
    start();
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    link->setReplyChunking(chunk);
    link->setReplyDelayMs(delayMs);
    driver->refresh();
    QCOMPARE(driver->labelText("label_softVer"), QString("V1.2.5"));
    QCOMPARE(driver->labelText("label_SSID"), model->ssid());
    QCOMPARE(driver->labelText("label_feMac"), formatMacColons(model->feMac()));
}

void TestSigleDebugSession::leftoverBytesNeverCount()
{
    start();
    loginAndExpectDeviceView(LOGIN_PASSWORD);
    // Stray bytes between two exchanges, as a late reply would leave them.
    const qint64 carried = link->wireBytes();
    emit model->output(QByteArray::fromHex("0103040001000299"));
    QTRY_VERIFY(link->wireBytes() >= carried + 8 && link->pendingWriteBytes() == 0);
    driver->refresh();
    QCOMPARE(driver->labelText("label_softVer"), QString("V1.2.5"));
    QCOMPARE(driver->labelText("label_baudrate"), QString("115200"));
}

QTEST_MAIN(TestSigleDebugSession)
#include "tst_sigledebug_session.moc"
