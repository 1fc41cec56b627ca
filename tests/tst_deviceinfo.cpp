#include "protocol/deviceinfo.h"
#include "protocol/frame.h"

#include <QtTest>

namespace
{

// A read reply around `data`: 01 03 <count> <data> <crc>.
QByteArray readReply(const QByteArray &data)
{
    QByteArray reply = QByteArray::fromHex("0103");
    reply.append(char(data.size()));
    reply.append(data);
    appendCrc(reply);
    return reply;
}

QByteArray field(const QByteArray &text, int width)
{
    return text.left(width) + QByteArray(qMax(0, width - text.size()), '\0');
}

QByteArray wifiData(const QByteArray &ssid, const QByteArray &password)
{
    QByteArray data = field(ssid, 64);
    data += QByteArray::fromHex("0006"
                                "0014"
                                "0002");
    data += field(password, 32);
    data += QByteArray::fromHex("c0a80401"
                                "ffffff00"
                                "001a2b3c4d5e");
    return data;
}

} // namespace

class TestDeviceInfo : public QObject
{
    Q_OBJECT

private slots:
    void versions_data();
    void versions();
    void dottedQuadAndMac();
    void valueTables_data();
    void valueTables();
    void moduleText_data();
    void moduleText();
    void wifiBlockDecodesEveryField();
    void uartAndFeBlocks();
    void shortRepliesAreRefused_data();
    void shortRepliesAreRefused();
};

void TestDeviceInfo::versions_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("shown");
    QTest::newRow("three digits") << 123 << "V1.2.3";
    QTest::newRow("one digit") << 7 << "V7";
    QTest::newRow("zero") << 0 << "V0";
    QTest::newRow("four digits with zero") << 1024 << "V1.0.2.4";
    QTest::newRow("largest") << 65535 << "V6.5.5.3.5";
}

void TestDeviceInfo::versions()
{
    QFETCH(int, number);
    QFETCH(QString, shown);
    QCOMPARE(formatVersion(quint16(number)), shown);
}

void TestDeviceInfo::dottedQuadAndMac()
{
    QCOMPARE(formatDottedQuad(QByteArray::fromHex("c0a80101")), QString("192.168.1.1"));
    QCOMPARE(formatDottedQuad(QByteArray::fromHex("00ffff00")), QString("0.255.255.0"));
    QCOMPARE(formatMacColons(QByteArray::fromHex("001a2b3c4d5e")), QString("00:1A:2B:3C:4D:5E"));
    QCOMPARE(formatMacColons(QByteArray::fromHex("ffffffffffff")), QString("FF:FF:FF:FF:FF:FF"));
}

void TestDeviceInfo::valueTables_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QString>("parity");     // "-" for no text
    QTest::addColumn<QString>("encryption"); // "-" for no text
    QTest::newRow("0") << 0 << "0"
                       << "无校验"
                       << "WEP";
    QTest::newRow("1") << 1 << "1"
                       << "奇校验"
                       << "WPA-PSK";
    QTest::newRow("2") << 2 << "1.5"
                       << "偶校验"
                       << "WPA2-PSK";
    QTest::newRow("3") << 3 << "3"
                       << "Mark"
                       << "-";
    QTest::newRow("4") << 4 << "4"
                       << "Space"
                       << "-";
    QTest::newRow("5") << 5 << "5"
                       << "-"
                       << "-";
    QTest::newRow("large") << 0xFFFF << "65535"
                           << "-"
                           << "-";
}

void TestDeviceInfo::valueTables()
{
    QFETCH(int, code);
    QFETCH(QString, stopBits);
    QFETCH(QString, parity);
    QFETCH(QString, encryption);
    QCOMPARE(stopBitText(quint16(code)), stopBits);
    QCOMPARE(parityText(quint16(code)).value_or("-"), parity);
    QCOMPARE(encryptionText(quint16(code)).value_or("-"), encryption);
}

void TestDeviceInfo::moduleText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero-filled") << field("KB-R5530", 16) << "KB-R5530";
    QTest::newRow("no zero byte") << QByteArray(32, 'p') << QString(32, 'p');
    QTest::newRow("leading and trailing blanks") << field("  pass word ", 32) << "pass word";
    QTest::newRow("stops at the first zero") << QByteArray("ab\0cd", 5) << "ab";
    QTest::newRow("UTF-8") << field("网络", 16) << QString::fromUtf8("网络");
    QTest::newRow("empty") << QByteArray(16, '\0') << "";
}

void TestDeviceInfo::moduleText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeModuleText(bytes), text);
}

void TestDeviceInfo::wifiBlockDecodesEveryField()
{
    const QByteArray reply = readReply(wifiData("ABCDEFGHIJKLMNOPQRST", "  Initpass_456"));
    QCOMPARE(reply.size(), 121);
    WifiInfo info;
    QVERIFY(decodeWifiReply(reply, &info));
    QCOMPARE(info.ssid, QString("ABCDEFGHIJKLMNOPQRST")); // shown whole, not cut to 16
    QCOMPARE(int(info.channel), 6);
    QCOMPARE(int(info.bandWidth), 20);
    QCOMPARE(int(info.encryptionCode), 2);
    QCOMPARE(info.password, QString("Initpass_456"));
    QCOMPARE(formatDottedQuad(info.ip), QString("192.168.4.1"));
    QCOMPARE(formatDottedQuad(info.mask), QString("255.255.255.0"));
    QCOMPARE(formatMacColons(info.mac), QString("00:1A:2B:3C:4D:5E"));
}

void TestDeviceInfo::uartAndFeBlocks()
{
    UartInfo uart;
    QVERIFY(decodeUartReply(readReply(QByteArray::fromHex("f0000000"
                                                          "0008"
                                                          "0002"
                                                          "0005")),
                            &uart));
    QCOMPARE(uart.baudRate, 0xF0000000u); // unsigned, not negative
    QCOMPARE(int(uart.dataBits), 8);
    QCOMPARE(int(uart.stopBitCode), 2);
    QCOMPARE(int(uart.parityCode), 5);

    VersionInfo versions;
    QVERIFY(decodeVersionReply(readReply(QByteArray::fromHex("007d0003")), &versions));
    QCOMPARE(int(versions.software), 125);
    QCOMPARE(int(versions.hardware), 3);

    FeInfo fe;
    QVERIFY(decodeFeReply(readReply(QByteArray::fromHex("c0a80164"
                                                        "ffffff00"
                                                        "020304050607")),
                          &fe));
    QCOMPARE(formatDottedQuad(fe.ip), QString("192.168.1.100"));
    QCOMPARE(formatMacColons(fe.mac), QString("02:03:04:05:06:07"));
}

void TestDeviceInfo::shortRepliesAreRefused_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("length");
    for (int length : {0, 3, 8})
        QTest::addRow("versions %d", length) << 0 << length;
    for (int length : {9, 14})
        QTest::addRow("RS-485 %d", length) << 1 << length;
    for (int length : {19, 120})
        QTest::addRow("Wi-Fi %d", length) << 2 << length;
    for (int length : {9, 18})
        QTest::addRow("FE %d", length) << 3 << length;
}

// A reply that passes its CRC check but is shorter than its block must be
// refused, never read past its end (the sanitizer build watches the reads).
void TestDeviceInfo::shortRepliesAreRefused()
{
    QFETCH(int, block);
    QFETCH(int, length);
    QByteArray reply =
        length >= 5 ? readReply(QByteArray(length - 5, '\x11')) : QByteArray(length, '\x11');
    QCOMPARE(reply.size(), length);
    reply = QByteArray(reply.constData(), reply.size()); // own, exact buffer
    VersionInfo v;
    UartInfo u;
    WifiInfo w;
    FeInfo f;
    const bool decoded = block == 0   ? decodeVersionReply(reply, &v)
                         : block == 1 ? decodeUartReply(reply, &u)
                         : block == 2 ? decodeWifiReply(reply, &w)
                                      : decodeFeReply(reply, &f);
    QVERIFY(!decoded);
}

QTEST_GUILESS_MAIN(TestDeviceInfo)
#include "tst_deviceinfo.moc"
