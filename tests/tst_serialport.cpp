#include "serial/handleserialport.h"
#include "serial/portenumeration.h"
#include "serial/portnames.h"
#include "support/testpty.h"

#include <QRegularExpression>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace
{

const QByteArray VERSION_REQUEST = QByteArray::fromHex("010300000002"
                                                       "8B30");

QList<SerialPortEntry> entries(const QStringList &free, const QStringList &busy = {})
{
    QList<SerialPortEntry> list;
    for (const QString &name : free)
        list.append({name, false});
    for (const QString &name : busy)
        list.append({name, true});
    return list;
}

void enumerateAs(const QList<SerialPortEntry> &list)
{
    PortEnumeration::setOverride([list] { return list; });
}

QByteArray joined(const QSignalSpy &spy)
{
    QByteArray all;
    for (const QList<QVariant> &call : spy)
        all += call.at(0).toByteArray();
    return all;
}

// Waits until the spy's chunks add up to want bytes or timeoutMs pass.
QByteArray receive(QSignalSpy &spy, int want, int timeoutMs = 2000)
{
    QElapsedTimer clock;
    clock.start();
    while (joined(spy).size() < want && clock.elapsed() < timeoutMs)
        spy.wait(int(timeoutMs - clock.elapsed()));
    return joined(spy);
}

} // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { PortEnumeration::reset(); }

    void naturalOrder_data();
    void naturalOrder();
    void availableNamesSortedWithoutBusy();
    void enumerationSeam();

    void baudTable();
    void baudRateNotANumber();
    void parity_data();
    void parity();
    void flowControl_data();
    void flowControl();
    void dataAndStopBits_data();
    void dataAndStopBits();

    void openFailureEmitsStatusOnce();
    void openWhileOpen();
    void statusWhileOpenOnly();
    void frameRoundTrip();
    void failedOpensDoNotDoubleDelivery();
    void destructorReleasesPort();
    void emptyAndFailedWrites();

    void refreshReportsCountChange();
    void refreshIgnoresSameCountSwap();
    void refreshCountsBusyPorts();
    void refreshTimerRunsFromConstruction();
};

void TestSerialPort::naturalOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("aFirst");
    QTest::addColumn<bool>("bFirst");
    const QString mathOne = QString::fromUcs4(U"\U0001D7CF"); // bold digit one, two UTF-16 units

    QTest::newRow("shorter first: COM2 < COM10") << "COM2"
                                                 << "COM10" << true << false;
    QTest::newRow("same length by number: COM12 < COM21") << "COM12"
                                                          << "COM21" << true << false;
    QTest::newRow("same length by number, reversed") << "COM21"
                                                     << "COM12" << false << true;
    QTest::newRow("all digits form the number: A1B2 < A2B1") << "A1B2"
                                                             << "A2B1" << true << false;
    QTest::newRow("no digits: equivalent") << "ttyA"
                                           << "ttyB" << false << false;
    QTest::newRow("no digits equals zero") << "ttyS"
                                           << "tty0" << false << false;
    QTest::newRow("int32 max still converts") << "X2147483646"
                                              << "X2147483647" << true << false;
    QTest::newRow("past int32 counts as 0") << "X2147483648"
                                            << "X0000000001" << true << false;
    QTest::newRow("many digits count as 0") << "P99999999999"
                                            << "P00000000000" << false << false;
    QTest::newRow("Arabic-Indic digit spoils to 0") << "COM\u0663"
                                                    << "COM1" << true << false;
    QTest::newRow("fullwidth digit spoils mixed text")
        << QString("C9\uFF11") << "C01" << true << false;
    QTest::newRow("superscript (not Nd) is skipped") << "COM\u00B29"
                                                     << "COM12" << true << false;
    QTest::newRow("supplementary Nd digit spoils to 0")
        << QString("C12" + mathOne) << "C0001" << true << false;
    QTest::newRow("length in UTF-16 units") << "ABC" << QString(mathOne + mathOne) << true << false;
}

void TestSerialPort::naturalOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, aFirst);
    QFETCH(bool, bFirst);
    QCOMPARE(portNameLess(a, b), aFirst);
    QCOMPARE(portNameLess(b, a), bFirst);
}

void TestSerialPort::availableNamesSortedWithoutBusy()
{
    enumerateAs(entries({"ttyUSB0", "COM10", "COM1"}, {"COM2"}));
    QCOMPARE(HandleSerialPort::availablePortNames(), QStringList({"COM1", "COM10", "ttyUSB0"}));

    QStringList names{"COM10", "COM2", "COM1"};
    std::sort(names.begin(), names.end(), portNameLess);
    QCOMPARE(names, QStringList({"COM1", "COM2", "COM10"}));
}

void TestSerialPort::enumerationSeam()
{
    QStringList system;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        system.append(info.portName());
    auto names = [] {
        QStringList list;
        for (const SerialPortEntry &entry : PortEnumeration::enumerate())
            list.append(entry.name);
        return list;
    };
    QCOMPARE(names(), system);

    PortEnumeration::addExtraPort("/dev/pts/77");
    PortEnumeration::addExtraPort("/dev/pts/77");
    QCOMPARE(names(), system + QStringList{"/dev/pts/77"});
    QVERIFY(!PortEnumeration::enumerate().last().busy);
    QVERIFY(HandleSerialPort::availablePortNames().contains("/dev/pts/77"));

    enumerateAs(entries({"COM5"}));
    QCOMPARE(names(), QStringList{"COM5"});
    PortEnumeration::setOverride(nullptr);
    PortEnumeration::removeExtraPort("/dev/pts/77");
    QCOMPARE(names(), system);
}

void TestSerialPort::baudTable()
{
    QCOMPARE(STANDARD_BAUD_RATES().size(), 21);
    TestPty pty;
    QVERIFY(pty.isValid());
    HandleSerialPort manager;
    QCOMPARE(manager.baudRates().size(), 21);
    for (const QString &text : STANDARD_BAUD_RATES())
        QCOMPARE(manager.baudRates().value(text), text.toInt());
    QVERIFY(manager.openPort(pty.slavePath()));

    QVERIFY(manager.setBaudRate("250000"));
    QCOMPARE(manager.serialPort()->baudRate(QSerialPort::Input), 250000);
    QCOMPARE(manager.serialPort()->baudRate(QSerialPort::Output), 250000);
    QCOMPARE(manager.baudRates().value("250000"), 250000);
    QCOMPARE(manager.baudRates().size(), 22);

    QVERIFY(manager.setBaudRate("230400"));
    QCOMPARE(manager.serialPort()->baudRate(), 230400);
    QCOMPARE(manager.baudRates().size(), 22);

    HandleSerialPort other;
    QVERIFY(!other.baudRates().contains("250000"));
}

void TestSerialPort::baudRateNotANumber()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    HandleSerialPort manager;
    manager.setBaudRate("9600");

    // Stored on a closed port, a rate of 0 would make the next open fail.
    QVERIFY(!manager.setBaudRate("abc"));
    QVERIFY(manager.baudRates().contains("abc"));
    QCOMPARE(manager.baudRates().value("abc"), 0);
    QCOMPARE(manager.serialPort()->baudRate(), 9600);
    QVERIFY(manager.openPort(pty.slavePath()));

    QVERIFY(!manager.setBaudRate("abc"));
    QVERIFY(!manager.setBaudRate("-5"));
    QCOMPARE(manager.serialPort()->baudRate(), 9600);
}

void TestSerialPort::parity_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected");
    QTest::newRow("无校验 none") << "无校验" << int(QSerialPort::NoParity);
    QTest::newRow("偶检验 even") << "偶检验" << int(QSerialPort::EvenParity);
    QTest::newRow("奇校验 odd") << "奇校验" << int(QSerialPort::OddParity);
    QTest::newRow("空格 space") << "空格" << int(QSerialPort::SpaceParity);
    QTest::newRow("标记 mark") << "标记" << int(QSerialPort::MarkParity);
    QTest::newRow("near miss 偶校验 selects none") << "偶校验" << int(QSerialPort::NoParity);
    QTest::newRow("empty selects none") << "" << int(QSerialPort::NoParity);
}

void TestSerialPort::parity()
{
    QFETCH(QString, name);
    QFETCH(int, expected);
    HandleSerialPort manager;
    manager.serialPort()->setParity(expected == QSerialPort::OddParity ? QSerialPort::EvenParity
                                                                       : QSerialPort::OddParity);
    QVERIFY(manager.setParity(name));
    QCOMPARE(int(manager.serialPort()->parity()), expected);
}

void TestSerialPort::flowControl_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected");
    QTest::newRow("无 none") << "无" << int(QSerialPort::NoFlowControl);
    QTest::newRow("硬件流控 RTS/CTS") << "硬件流控" << int(QSerialPort::HardwareControl);
    QTest::newRow("软件流控 XON/XOFF") << "软件流控" << int(QSerialPort::SoftwareControl);
    QTest::newRow("unknown selects none") << "RTS" << int(QSerialPort::NoFlowControl);
}

void TestSerialPort::flowControl()
{
    QFETCH(QString, name);
    QFETCH(int, expected);
    HandleSerialPort manager;
    manager.serialPort()->setFlowControl(expected == QSerialPort::HardwareControl
                                             ? QSerialPort::SoftwareControl
                                             : QSerialPort::HardwareControl);
    QVERIFY(manager.setFlowControl(name));
    QCOMPARE(int(manager.serialPort()->flowControl()), expected);
}

void TestSerialPort::dataAndStopBits_data()
{
    QTest::addColumn<bool>("stopBits");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("expected");
    for (int bits = 5; bits <= 8; ++bits)
        QTest::addRow("data %d", bits) << false << QString::number(bits) << true << bits;
    QTest::newRow("data 9 rejected") << false << "9" << false << -1;
    QTest::newRow("data 8 with blank rejected") << false << "8 " << false << -1;
    QTest::newRow("data empty rejected") << false << "" << false << -1;
    QTest::newRow("stop 1") << true << "1" << true << int(QSerialPort::OneStop);
    QTest::newRow("stop 1.5") << true << "1.5" << true << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("stop 2") << true << "2" << true << int(QSerialPort::TwoStop);
    QTest::newRow("stop 1.0 rejected") << true << "1.0" << false << -1;
    QTest::newRow("stop 3 rejected") << true << "3" << false << -1;
}

void TestSerialPort::dataAndStopBits()
{
    QFETCH(bool, stopBits);
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QFETCH(int, expected);
    HandleSerialPort manager;
    QSerialPort *port = manager.serialPort();
    // Start from a value no row expects to see, to tell "applied" from "unchanged".
    port->setDataBits(QSerialPort::Data6);
    port->setStopBits(QSerialPort::TwoStop);
    if (expected == QSerialPort::Data6)
        port->setDataBits(QSerialPort::Data7);
    if (stopBits && expected == QSerialPort::TwoStop)
        port->setStopBits(QSerialPort::OneStop);
    const int before = stopBits ? int(port->stopBits()) : int(port->dataBits());

    const bool result = stopBits ? manager.setStopBits(name) : manager.setDataBits(name);
    const int after = stopBits ? int(port->stopBits()) : int(port->dataBits());
    QCOMPARE(result, accepted);
    QCOMPARE(after, accepted ? expected : before);
}

void TestSerialPort::openFailureEmitsStatusOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    HandleSerialPort manager;
    QSignalSpy status(&manager, &HandleSerialPort::serialPortStatus);
    QVERIFY(!manager.openPort(dir.filePath("ttyMissing")));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toUInt() & 0x03u, 0u);
    QVERIFY(!manager.isOpen());
    QVERIFY(!status.wait(400)); // no status report while closed
}

void TestSerialPort::openWhileOpen()
{
    TestPty pty, otherPty;
    QVERIFY(pty.isValid() && otherPty.isValid());
    HandleSerialPort manager;
    QSignalSpy status(&manager, &HandleSerialPort::serialPortStatus);
    QVERIFY(manager.openPort(pty.slavePath()));
    QCOMPARE(status.count(), 1);
    const QString openName = manager.serialPort()->portName();

    QVERIFY(manager.openPort(pty.slavePath()));
    QVERIFY(manager.openPort(QString()));
    QVERIFY(!manager.openPort(otherPty.slavePath()));
    QCOMPARE(status.count(), 1);
    QCOMPARE(manager.serialPort()->portName(), openName);
    QVERIFY(manager.isOpen());
}

void TestSerialPort::statusWhileOpenOnly()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    HandleSerialPort manager;
    QSignalSpy status(&manager, &HandleSerialPort::serialPortStatus);
    QVERIFY(manager.openPort(pty.slavePath()));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toUInt() & 0x03u, 0x03u);
    QCOMPARE(manager.statusWord() & 0x03u, 0x03u);

    QVERIFY(status.wait(1000)); // the 300 ms report
    QCOMPARE(status.last().at(0).toUInt() & 0x03u, 0x03u);

    manager.closePort();
    QVERIFY(!manager.isOpen());
    QCOMPARE(manager.statusWord(), 0u);
    status.clear();
    QVERIFY(!status.wait(450));
    manager.closePort(); // closing twice does nothing
    QVERIFY(!manager.isOpen());
}

void TestSerialPort::frameRoundTrip()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    HandleSerialPort manager;
    QSignalSpy received(&manager, &HandleSerialPort::readyReadString);
    QVERIFY(manager.openPort(pty.slavePath()));
    // The line settings the device page applies after opening.
    QVERIFY(manager.setBaudRate("230400"));
    QVERIFY(manager.setParity("无校验"));
    QVERIFY(manager.setStopBits("1"));
    QVERIFY(manager.setDataBits("8"));
    QVERIFY(manager.setFlowControl("无"));

    QCOMPARE(manager.writeBytes(VERSION_REQUEST), qint64(VERSION_REQUEST.size()));
    QCOMPARE(pty.readFromMaster(2000, VERSION_REQUEST.size()), VERSION_REQUEST);

    const QByteArray reply = QByteArray::fromHex("010304000100020003FFFF");
    QVERIFY(pty.writeToSlaveSide(reply));
    QCOMPARE(receive(received, reply.size()), reply);
    for (const QList<QVariant> &call : received)
        QCOMPARE(call.at(1).toInt(), call.at(0).toByteArray().size());
}

void TestSerialPort::failedOpensDoNotDoubleDelivery()
{
    QTemporaryDir dir;
    TestPty pty;
    QVERIFY(dir.isValid() && pty.isValid());
    HandleSerialPort manager;
    QSignalSpy received(&manager, &HandleSerialPort::readyReadString);
    // A doubled readyRead connection shows up as extra, empty chunks.
    auto deliversOnce = [&](const QByteArray &bytes) {
        received.clear();
        if (!pty.writeToSlaveSide(bytes) || receive(received, bytes.size()) != bytes)
            return false;
        received.wait(200);
        for (const QList<QVariant> &call : received) {
            if (call.at(1).toInt() <= 0)
                return false;
        }
        return joined(received) == bytes;
    };

    QVERIFY(!manager.openPort(dir.filePath("ttyMissing")));
    QVERIFY(!manager.openPort(QString()));
    QVERIFY(manager.openPort(pty.slavePath()));
    QVERIFY(deliversOnce("abc"));

    manager.closePort();
    QVERIFY(manager.openPort(QString()));
    QVERIFY(deliversOnce("defg"));
}

void TestSerialPort::destructorReleasesPort()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    auto *first = new HandleSerialPort;
    QVERIFY(first->openPort(pty.slavePath()));
    HandleSerialPort second;
    QVERIFY(!second.openPort(pty.slavePath())); // held by the first
    delete first;
    QVERIFY(second.openPort(pty.slavePath()));
}

void TestSerialPort::emptyAndFailedWrites()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    HandleSerialPort manager;
    QSignalSpy errors(&manager, &HandleSerialPort::writeError);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device not open"));
    QCOMPARE(manager.writeBytes("ab"), qint64(-1));
    QCOMPARE(errors.count(), 1);
    QVERIFY(!errors.at(0).at(0).toString().isEmpty());

    QVERIFY(manager.openPort(pty.slavePath()));
    errors.clear();
    QCOMPARE(manager.writeBytes(QByteArray()), qint64(0));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(pty.readFromMaster(200), QByteArray());
}

void TestSerialPort::refreshReportsCountChange()
{
    enumerateAs(entries({"COM10", "COM2"}));
    HandleSerialPort manager;
    QCOMPARE(manager.publishedPortNames(), QStringList({"COM2", "COM10"}));
    QSignalSpy update(&manager, &HandleSerialPort::updateComboBox);

    enumerateAs(entries({"COM10", "COM2", "COM1"}));
    manager.UpdatePort();
    QCOMPARE(update.count(), 1);
    QCOMPARE(update.at(0).at(0).toStringList(), QStringList({"COM1", "COM2", "COM10"}));
    QCOMPARE(manager.publishedPortNames(), QStringList({"COM1", "COM2", "COM10"}));

    manager.UpdatePort();
    QCOMPARE(update.count(), 1);

    enumerateAs(entries({"COM10"}));
    manager.UpdatePort();
    QCOMPARE(update.count(), 2);
    QCOMPARE(update.at(1).at(0).toStringList(), QStringList{"COM10"});
}

void TestSerialPort::refreshIgnoresSameCountSwap()
{
    enumerateAs(entries({"COM1", "COM2"}));
    HandleSerialPort manager;
    QSignalSpy update(&manager, &HandleSerialPort::updateComboBox);
    enumerateAs(entries({"COM3", "COM4"}));
    manager.UpdatePort();
    QCOMPARE(update.count(), 0);
    QCOMPARE(manager.publishedPortNames(), QStringList({"COM1", "COM2"}));
}

void TestSerialPort::refreshCountsBusyPorts()
{
    enumerateAs(entries({"COM12", "COM1"}, {"COM3"}));
    QCOMPARE(HandleSerialPort::availablePortNames(), QStringList({"COM1", "COM12"}));
    HandleSerialPort manager;
    QCOMPARE(manager.publishedPortNames(), QStringList({"COM1", "COM12"}));
    QSignalSpy update(&manager, &HandleSerialPort::updateComboBox);
    manager.UpdatePort();
    QCOMPARE(update.count(), 1);
    QCOMPARE(update.at(0).at(0).toStringList(), QStringList({"COM1", "COM3", "COM12"}));
}

void TestSerialPort::refreshTimerRunsFromConstruction()
{
    enumerateAs(entries({"COM1"}));
    HandleSerialPort manager;
    manager.watchPortList(true);
    QSignalSpy update(&manager, &HandleSerialPort::updateComboBox);
    enumerateAs(entries({"COM1", "COM2"}));
    QVERIFY(update.wait(2500));
    QCOMPARE(update.at(0).at(0).toStringList(), QStringList({"COM1", "COM2"}));
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
