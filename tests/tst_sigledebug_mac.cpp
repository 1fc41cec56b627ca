// The device page's settings writes against the module simulator on a
// pseudo-terminal, with a MAC pool in a temporary working directory: the MAC
// writes through their dialog, the pool marking, the failures that must leave
// the pool entry unused (given back, or quarantined when the outcome is
// unknown), and the input refused before anything is sent.
#include "macpool/macpool.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "support/testpool.h"
#include "ui/boxes/custombox.h"
#include "ui/device/sigledebug.h"
#include "ui/dialogs/setmac.h"

#include <QDateTime>
#include <QTextCodec>
#include <QtTest>

#include <memory>

namespace
{

const QString ACCOUNT = QStringLiteral("admin");
const QString LOGIN_PASSWORD = QStringLiteral("Secret_789x");
const QString NEW_MAC = QStringLiteral("00:1A:2B:3C:4D:5E");
const QByteArray NEW_MAC_BYTES = QByteArray::fromHex("001A2B3C4D5E");
const QByteArray VERSION_READ = QByteArray::fromHex("010300000002");
const QByteArray LOGOUT_PREFIX = QByteArray::fromHex("011000fd");
// 21 three-byte characters: 63 bytes in UTF-8.
const QString HAN_63 = QString(21, QChar(0x4E2D));

QList<QByteArray> framesWith(const ModuleModel &model, const QByteArray &prefix)
{
    QList<QByteArray> frames;
    for (const QByteArray &frame : model.receivedFrames())
        if (frame.startsWith(prefix))
            frames.append(frame);
    return frames;
}

QString warningTitle()
{
    return CustomWarningBox::instance() ? CustomWarningBox::instance()->title() : QString();
}

} // namespace

class TestSigleDebugMac : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void macWriteReachesModuleAndPool_data();
    void macWriteReachesModuleAndPool();
    void failedWriteLeavesThePoolEntryFree_data();
    void failedWriteLeavesThePoolEntryFree();
    void refusedBeforeAnythingIsSent_data();
    void refusedBeforeAnythingIsSent();
    void textAtTheFieldWidthIsSentWhole_data();
    void textAtTheFieldWidthIsSentWhole();

private:
    void setOperator(const QString &text);
    void invokeWrite(const QString &slot, const QString &argument);

    std::unique_ptr<TestPool> pool;
    std::unique_ptr<ModuleModel> model;
    std::unique_ptr<PtyLink> link;
    std::unique_ptr<SigleDebug> page;
    std::unique_ptr<PageDriver> driver;
};

void TestSigleDebugMac::initTestCase()
{
    // Byte counts below assume the usual UTF-8 workstation locale.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
}

void TestSigleDebugMac::init()
{
    pool = std::make_unique<TestPool>();
    QVERIFY(pool->isValid());
    ModuleConfig config;
    config.loginPassword = LOGIN_PASSWORD;
    model = std::make_unique<ModuleModel>(config);
    model->setWifiPassword(QStringLiteral("Wifi_pass_1"));
    link = std::make_unique<PtyLink>(model.get());
    QVERIFY2(link->isOpen(), qPrintable(link->errorString()));
    PortEnumeration::addExtraPort(link->slavePath());
    page = std::make_unique<SigleDebug>();
    driver = std::make_unique<PageDriver>(page.get());
    page->show();
    QVERIFY(driver->openPort(link->slavePath()));
    driver->login(ACCOUNT, LOGIN_PASSWORD);
    QVERIFY2(driver->inDeviceView(), qPrintable(PageDriver::warningText()));
    PageDriver::hideBoxes();
    model->clearReceivedFrames();
}

void TestSigleDebugMac::cleanup()
{
    page.reset();
    driver.reset();
    link.reset();
    model.reset();
    pool.reset();
    PortEnumeration::reset();
    PageDriver::hideBoxes();
}

void TestSigleDebugMac::setOperator(const QString &text)
{
    driver->widget<QLineEdit>("lineEidt_op")->setText(text);
}

void TestSigleDebugMac::invokeWrite(const QString &slot, const QString &argument)
{
    QVERIFY(QMetaObject::invokeMethod(page.get(), qPrintable(slot), Qt::DirectConnection,
                                      Q_ARG(QString, argument)));
}

void TestSigleDebugMac::macWriteReachesModuleAndPool_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QByteArray>("header"); // slave, function, register, count, byte count
    QTest::newRow("Wi-Fi MAC") << "pushButton_setWifiMAC"
                               << "label_wifiMac" << QByteArray::fromHex("01100068000306");
    QTest::newRow("FE MAC") << "pushButton_setFeMAC"
                            << "label_feMac" << QByteArray::fromHex("01100075000306");
}

void TestSigleDebugMac::macWriteReachesModuleAndPool()
{
    QFETCH(QString, button);
    QFETCH(QString, label);
    QFETCH(QByteArray, header);
    QVERIFY(pool->add(NEW_MAC));
    const QString operatorName = QStringLiteral(" 王工 "); // recorded as typed
    setOperator(operatorName);
    const QString formerMac = driver->labelText(qPrintable(label));

    driver->button(qPrintable(button))->click(); // hidden, but enabled by the refresh
    SetMac *dialog = page->findChild<SetMac *>();
    QVERIFY(dialog && dialog->isVisible() && dialog->isModal());
    QVERIFY(dialog->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!dialog->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("label_orMac"))->text(), formerMac);
    dialog->findChild<QPushButton *>(QStringLiteral("pushButton_getMac"))->click();
    dialog->findChild<QPushButton *>(QStringLiteral("pushButton_Ok"))->click();
    // Written, settled in the pool, then shown by a refresh.
    QTRY_COMPARE_WITH_TIMEOUT(driver->labelText(qPrintable(label)), NEW_MAC, 5000);

    const QByteArray frame = framesWith(*model, header).value(0);
    QCOMPARE(frame.size(), 15);
    QCOMPARE(frame.mid(7, 6), NEW_MAC_BYTES);
    QCOMPARE(PageDriver::infoText(), QStringLiteral("设置成功！"));
    const QVariantList row = pool->row(NEW_MAC); // IsUsed, UsedDateTime, Operator
    QCOMPARE(row.value(0).toInt(), 1);
    QVERIFY2(QDateTime::fromString(row.value(1).toString(), "yyyy-MM-dd hh:mm:ss").isValid(),
             qPrintable(row.value(1).toString()));
    QCOMPARE(row.value(2).toString(), operatorName);
    // The page read the module again and shows what it now holds.
    QCOMPARE(framesWith(*model, VERSION_READ).size(), 1);
    QCOMPARE(driver->labelText(qPrintable(label)), NEW_MAC);
    for (const char *hidden :
         {"pushButton_setWifiMAC", "pushButton_setFeMAC", "label_4", "lineEidt_op"})
        QVERIFY2(!driver->isShown(hidden), hidden);
}

void TestSigleDebugMac::failedWriteLeavesThePoolEntryFree_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("hold"); // of the claimed address afterwards
    QTest::newRow("Wi-Fi time-out") << "setWifiMac"
                                    << "drop"
                                    << "提示"
                                    << "设置WiFi的MAC地址响应超时！" << int(MacHold::QUARANTINED);
    QTest::newRow("FE checksum failure")
        << "setFeMac"
        << "corrupt"
        << "提示"
        << "设置FE的MAC地址响应校验错误！" << int(MacHold::QUARANTINED);
    QTest::newRow("error reply 0x03") << "setWifiMac"
                                      << "error"
                                      << "提示"
                                      << "非法数据值！" << int(MacHold::NONE);
    QTest::newRow("accepted, but missing from the pool")
        << "setWifiMac"
        << "missing"
        << "MAC操作"
        << "MAC地址00:1A:2B:3C:4D:5E不在地址池中。" << int(MacHold::CLAIMED);
}

void TestSigleDebugMac::failedWriteLeavesThePoolEntryFree()
{
    QFETCH(QString, slot);
    QFETCH(QString, fault);
    QFETCH(QString, title);
    QFETCH(QString, warning);
    QFETCH(int, hold);
    const QString pooled =
        fault == QLatin1String("missing") ? QStringLiteral("00:1A:2B:3C:4D:5F") : NEW_MAC;
    QVERIFY(pool->add(pooled));
    MacPool claims(localPoolUrl(), MacPool::processClaimer()); // as the MAC dialog claims
    QString error;
    QCOMPARE(claims.claim(1, "test", "tech", error), QStringList{pooled});
    setOperator(QStringLiteral("tech"));
    if (fault == QLatin1String("drop"))
        model->dropNextReply();
    else if (fault == QLatin1String("corrupt"))
        model->corruptNextReplies(1);
    else if (fault == QLatin1String("error"))
        model->answerNextWithError(0x03);
    const QString wifiMacShown = driver->labelText("label_wifiMac");

    invokeWrite(slot, NEW_MAC);
    QTRY_COMPARE_WITH_TIMEOUT(warningTitle(), title, 5000);
    QCOMPARE(PageDriver::warningText(), warning);
    QVERIFY(PageDriver::infoText().isEmpty());
    QVERIFY(pool->isFree(pooled));
    QCOMPARE(int(claims.page(1, MacFilter(), error).value(0).hold), hold);
    QCOMPARE(framesWith(*model, VERSION_READ).size(), 0); // no refresh after a failure
    QCOMPARE(driver->labelText("label_wifiMac"), wifiMacShown);
    if (fault == QLatin1String("missing"))
        QCOMPARE(model->wifiMac(), NEW_MAC_BYTES); // the module keeps what it accepted
}

void TestSigleDebugMac::refusedBeforeAnythingIsSent_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("operatorText");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("warning");
    const QString noOperator = QStringLiteral("请输入操作员信息!");
    const QString badMac = QStringLiteral("MAC地址格式错误，无法设置！");
    const QString longSsid = QStringLiteral("SSID超过32个字节，无法设置！");
    QTest::newRow("Wi-Fi MAC, empty operator")
        << "setWifiMac" << NEW_MAC << QString() << "参数错误" << noOperator;
    QTest::newRow("FE MAC, blank operator") << "setFeMac" << NEW_MAC << " \t "
                                            << "参数错误" << noOperator;
    QTest::newRow("MAC from a 13-character pool entry") << "setFeMac"
                                                        << "90:EB:74:70:1"
                                                        << "tech"
                                                        << "提示" << badMac;
    QTest::newRow("40-byte SSID") << "setSSID" << QString(40, 's') << QString() << "提示"
                                  << longSsid;
    QTest::newRow("SSID whose last character would cross byte 32")
        << "setSSID"
        << "sss" + HAN_63.left(10) << QString() << "提示" << longSsid;
    QTest::newRow("33-byte Wi-Fi password") << "setPassword"
                                            << "Aa1_" + QString(29, 'x') << QString() << "提示"
                                            << "密码超过32个字节，无法设置！";
}

void TestSigleDebugMac::refusedBeforeAnythingIsSent()
{
    QFETCH(QString, slot);
    QFETCH(QString, argument);
    QFETCH(QString, operatorText);
    QFETCH(QString, title);
    QFETCH(QString, warning);
    QVERIFY(pool->add(NEW_MAC));
    setOperator(operatorText);

    invokeWrite(slot, argument);
    QTRY_COMPARE_WITH_TIMEOUT(warningTitle(), title, 5000);
    QCOMPARE(PageDriver::warningText(), warning);
    // Anything sent before would reach the module ahead of the logout frame.
    page->on_pushButton_cancel_clicked();
    QTRY_VERIFY_WITH_TIMEOUT(!model->receivedFrames().isEmpty(), 5000);
    QVERIFY(model->receivedFrames().first().startsWith(LOGOUT_PREFIX));
    QVERIFY(pool->isFree(NEW_MAC));
}

void TestSigleDebugMac::textAtTheFieldWidthIsSentWhole_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("refreshes");
    const QByteArray ssidHeader = QByteArray::fromHex("01100031002040");
    QTest::newRow("32-byte SSID, zero-filled to 64")
        << "setSSID" << QString(32, 's') << ssidHeader << 1;
    QTest::newRow("32-byte SSID ending in a three-byte character")
        << "setSSID"
        << "ss" + HAN_63.left(10) << ssidHeader << 1;
    QTest::newRow("32-byte Wi-Fi password, no refresh")
        << "setPassword"
        << "Aa1_" + QString(28, 'x') << QByteArray::fromHex("01100054001020") << 0;
}

void TestSigleDebugMac::textAtTheFieldWidthIsSentWhole()
{
    QFETCH(QString, slot);
    QFETCH(QString, argument);
    QFETCH(QByteArray, header);
    QFETCH(int, refreshes);
    invokeWrite(slot, argument);

    QTRY_COMPARE_WITH_TIMEOUT(PageDriver::infoText(), QStringLiteral("设置成功！"), 5000);
    const QByteArray frame = framesWith(*model, header).value(0);
    const QByteArray utf8 = argument.toUtf8();
    const int width = quint8(header.back()); // the request's byte count
    QCOMPARE(frame.size(), header.size() + width + 2);
    QCOMPARE(frame.mid(header.size(), width), utf8.leftJustified(width, '\0')); // no byte cut
    QCOMPARE(slot == QLatin1String("setSSID") ? model->ssid() : model->wifiPassword(), argument);
    QTRY_COMPARE_WITH_TIMEOUT(framesWith(*model, VERSION_READ).size(), refreshes, 5000);
}

QTEST_MAIN(TestSigleDebugMac)
#include "tst_sigledebug_mac.moc"
