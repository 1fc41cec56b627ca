// The device page's connection controls, port list and logout, against a bare
// pseudo-terminal (nothing answers on the far side).
#include "serial/handleserialport.h"
#include "serial/portenumeration.h"
#include "support/pagedriver.h"
#include "support/testpty.h"
#include "ui/device/sigledebug.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <termios.h>

#include <memory>

class TestSigleDebugConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startsInLoginViewWithActionsDisabled();
    void portThatCannotBeOpened();
    void connectAppliesLineSettingsAndDisconnectCloses();
    void vanishedPortIsClosed();
    void portListChangeKeepsTheOpenPort();
    void logoutSendsItsFrameWithoutWaiting();
    void logoutWithNothingAttached();
    void loneEndSignalOutsideATransferIsOnlyData();

private:
    TestPty *pty = nullptr;
};

void TestSigleDebugConnection::init()
{
    pty = new TestPty;
    QVERIFY(pty->isValid());
    PortEnumeration::addExtraPort(pty->slavePath());
}

void TestSigleDebugConnection::cleanup()
{
    PortEnumeration::reset();
    PageDriver::hideBoxes();
    delete pty;
    pty = nullptr;
}

void TestSigleDebugConnection::startsInLoginViewWithActionsDisabled()
{
    SigleDebug page;
    PageDriver driver(&page);
    QVERIFY(driver.inLoginView());
    QVERIFY(!driver.isShown("groupBox_7"));
    QVERIFY(!driver.isShown("groupBox_8"));
    for (const char *hidden :
         {"pushButton_setWifiMAC", "pushButton_setFeMAC", "label_4", "lineEidt_op",
          "pushButton_tell", "pushButton_getLog_2", "progressBar", "progressBar_2", "label_eye"})
        QVERIFY2(!driver.isShown(hidden), hidden);
    for (const char *disabled :
         {"pushButton_refresh", "pushButton_setSSID", "pushButton_encryption", "pushButton_start",
          "pushButton_scan", "pushButton_directory", "pushButton_getLog"})
        QVERIFY2(!driver.button(disabled)->isEnabled(), disabled);
    QCOMPARE(driver.labelText("label_softVer"), QString("******"));
    QVERIFY(!driver.enterButton()->isEnabled());
    QVERIFY(!driver.button("pushButton_Connect_2")->isChecked());
}

void TestSigleDebugConnection::portThatCannotBeOpened()
{
    const QString missing = QStringLiteral("/dev/pts/987654");
    PortEnumeration::addExtraPort(missing);
    SigleDebug page;
    PageDriver driver(&page);
    QSignalSpy enter(&page, &SigleDebug::enableEnter);
    QVERIFY(!driver.openPort(missing));
    QCOMPARE(PageDriver::warningText(), QString("请选择可用的调试串口！"));
    QCOMPARE(driver.button("pushButton_Connect_2")->text(), QString("打开"));
    QVERIFY(driver.widget("comboBox_Com_2")->isEnabled());
    QVERIFY(!page.portIsOpen());
    QCOMPARE(TestPty::openCount(missing), 0);
    QCOMPARE(enter.count(), 0);
}

void TestSigleDebugConnection::connectAppliesLineSettingsAndDisconnectCloses()
{
    SigleDebug page;
    PageDriver driver(&page);
    QSignalSpy enter(&page, &SigleDebug::enableEnter);
    QVERIFY(driver.openPort(pty->slavePath()));

    // The pty's settings are the ones its slave was given: 230400 8N1.
    QCOMPARE(TestPty::openCount(pty->slavePath()), 2); // the pair's own and the page's
    termios line{};
    QCOMPARE(tcgetattr(pty->masterFd(), &line), 0);
    QCOMPARE(cfgetospeed(&line), speed_t(B230400));
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QCOMPARE(driver.button("pushButton_Connect_2")->text(), QString("关闭"));
    QVERIFY(!driver.widget("comboBox_Com_2")->isEnabled());
    for (const char *enabled : {"pushButton_refresh", "pushButton_loginSettings", "pushButton_scan",
                                "pushButton_directory"})
        QVERIFY2(driver.button(enabled)->isEnabled(), enabled);
    QCOMPARE(enter.count(), 1);
    QCOMPARE(enter.last().at(0).toBool(), true);
    QVERIFY(driver.enterButton()->isEnabled());
    // Still in the login view: opening the port refreshes only inside a session.
    QVERIFY(driver.inLoginView());

    QTest::mouseClick(driver.button("pushButton_Connect_2"), Qt::LeftButton);
    QTRY_COMPARE(TestPty::openCount(pty->slavePath()), 1);
    QCOMPARE(driver.button("pushButton_Connect_2")->text(), QString("打开"));
    QVERIFY(driver.widget("comboBox_Com_2")->isEnabled());
    QVERIFY(!driver.button("pushButton_loginSettings")->isEnabled());
    QVERIFY(!driver.button("pushButton_refresh")->isEnabled());
    QCOMPARE(enter.count(), 2);
    QCOMPARE(enter.last().at(0).toBool(), false);
}

void TestSigleDebugConnection::vanishedPortIsClosed()
{
    SigleDebug page;
    PageDriver driver(&page);
    QVERIFY(driver.openPort(pty->slavePath()));
    QSignalSpy enter(&page, &SigleDebug::enableEnter);

    PortEnumeration::removeExtraPort(pty->slavePath());
    page.serialPortManager()->UpdatePort();

    QTRY_COMPARE(TestPty::openCount(pty->slavePath()), 1);
    QVERIFY(!driver.button("pushButton_Connect_2")->isChecked());
    QCOMPARE(driver.button("pushButton_Connect_2")->text(), QString("打开"));
    QVERIFY(driver.widget("comboBox_Com_2")->isEnabled());
    QVERIFY(!driver.button("pushButton_refresh")->isEnabled());
    QCOMPARE(enter.count(), 1);
    QCOMPARE(enter.last().at(0).toBool(), false);
}

void TestSigleDebugConnection::portListChangeKeepsTheOpenPort()
{
    SigleDebug page;
    PageDriver driver(&page);
    QVERIFY(driver.openPort(pty->slavePath()));
    TestPty second;
    PortEnumeration::addExtraPort(second.slavePath());
    page.serialPortManager()->UpdatePort();

    auto *ports = driver.widget<QComboBox>("comboBox_Com_2");
    QVERIFY(ports->findText(second.slavePath()) >= 0);
    QCOMPARE(ports->currentText(), pty->slavePath());
    QVERIFY(page.portIsOpen());
    QCOMPARE(TestPty::openCount(pty->slavePath()), 2);
    QVERIFY(driver.button("pushButton_Connect_2")->isChecked());
}

void TestSigleDebugConnection::logoutSendsItsFrameWithoutWaiting()
{
    SigleDebug page;
    PageDriver driver(&page);
    QVERIFY(driver.openPort(pty->slavePath()));
    QSignalSpy ended(&page, &SigleDebug::loginTimeout);
    QSignalSpy enter(&page, &SigleDebug::enableEnter);

    // A wait would run the event loop and deliver this posted call first.
    auto eventsRan = std::make_shared<bool>(false);
    QTimer::singleShot(0, this, [eventsRan] { *eventsRan = true; });
    page.on_pushButton_cancel_clicked();
    QVERIFY(!*eventsRan);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(enter.count(), 1);
    QVERIFY(driver.inLoginView());
    const QByteArray frame = pty->readFromMaster(1000, 11);
    QCOMPARE(frame, QByteArray::fromHex("011000fd0001020001") + buildLogoutRequest().right(2));
    QCOMPARE(frame.size(), 11);
}

void TestSigleDebugConnection::logoutWithNothingAttached()
{
    SigleDebug page;
    PageDriver driver(&page);
    QSignalSpy ended(&page, &SigleDebug::loginTimeout);
    page.on_pushButton_cancel_clicked();
    QCOMPARE(ended.count(), 1);
    QVERIFY(driver.inLoginView());
    QCOMPARE(pty->readFromMaster(300), QByteArray()); // nothing goes to a closed port
}

// Outside a transfer a single 0x04 or 0x18 is only the first piece of an
// ordinary reply: the page must not answer it with ACK.
void TestSigleDebugConnection::loneEndSignalOutsideATransferIsOnlyData()
{
    SigleDebug page;
    PageDriver driver(&page);
    QVERIFY(driver.openPort(pty->slavePath()));
    QVERIFY(pty->writeToSlaveSide(QByteArray(1, '\x04')));
    QVERIFY(pty->writeToSlaveSide(QByteArray(1, '\x18')));
    QCOMPARE(pty->readFromMaster(300), QByteArray());
    QVERIFY(!driver.button("pushButton_start")->isChecked());
    QCOMPARE(driver.widget<QTextEdit>("textEdit")->toPlainText(), QString());
}

QTEST_MAIN(TestSigleDebugConnection)
#include "tst_sigledebug_connection.moc"
