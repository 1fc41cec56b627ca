// The shared byte helpers, the write reply built by the frame codec, the
// Wi-Fi reply trace's mask and the rule that keeps the credential category
// off unless it is named.
#include "base/bytes.h"
#include "base/logging.h"
#include "protocol/deviceinfo.h"
#include "protocol/frame.h"

#include <QtTest>

namespace
{

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestBytes : public QObject
{
    Q_OBJECT

private slots:
    void bigEndianNumbers_data();
    void bigEndianNumbers();
    void zeroFilledFields_data();
    void zeroFilledFields();
    void textUpToFirstZero_data();
    void textUpToFirstZero();
    void writeReplies_data();
    void writeReplies();
    void wifiReplyTraceMasksThePassword_data();
    void wifiReplyTraceMasksThePassword();
    void secretsNeedTheirExactName_data();
    void secretsNeedTheirExactName();
};

void TestBytes::bigEndianNumbers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint32>("value");
    QTest::newRow("high byte above 0x7F is not sign-extended") << hex("ff80ff80") << 0xFF80FF80u;
    QTest::newRow("low byte above 0x7F is not sign-extended") << hex("0180017f") << 0x0180017Fu;
    QTest::newRow("most significant byte first") << hex("0001c200") << 115200u;
    QTest::newRow("zero") << hex("00000000") << 0u;
}

void TestBytes::bigEndianNumbers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint32, value);
    const QByteArray framed = hex("aa") + bytes + hex("bb"); // read at an offset
    QCOMPARE(Bytes::read32(framed, 1), value);
    QCOMPARE(Bytes::read16(framed, 1), quint16(value >> 16));
    QCOMPARE(Bytes::read16(framed, 3), quint16(value & 0xFFFF));
    QCOMPARE(Bytes::bigEndian32(value), bytes);
    QCOMPARE(Bytes::bigEndian16(quint16(value >> 16)), bytes.left(2));
    QByteArray appended = hex("aa");
    Bytes::append32(appended, value);
    QCOMPARE(appended, hex("aa") + bytes);
}

void TestBytes::zeroFilledFields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("short text is zero-filled") << QByteArray("ab") << 4 << hex("61620000");
    QTest::newRow("long text is cut") << QByteArray("abcdef") << 4 << QByteArray("abcd");
    QTest::newRow("exact width unchanged") << QByteArray("abcd") << 4 << QByteArray("abcd");
    QTest::newRow("empty text, all zeros") << QByteArray() << 3 << hex("000000");
    QTest::newRow("zero width") << QByteArray("ab") << 0 << QByteArray();
    QTest::newRow("negative width") << QByteArray("ab") << -2 << QByteArray();
}

void TestBytes::zeroFilledFields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, width);
    QFETCH(QByteArray, field);
    QCOMPARE(Bytes::zeroFilled(bytes, width), field);
}

void TestBytes::textUpToFirstZero_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("zero-filled field") << hex("6162000000") << QByteArray("ab");
    QTest::newRow("bytes after the zero are dropped") << hex("61006263") << QByteArray("a");
    QTest::newRow("field without zero kept whole") << QByteArray("abcd") << QByteArray("abcd");
    QTest::newRow("leading zero: empty") << hex("006162") << QByteArray();
}

void TestBytes::textUpToFirstZero()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, text);
    QCOMPARE(Bytes::upToFirstZero(field), text);
}

void TestBytes::writeReplies_data()
{
    QTest::addColumn<quint16>("first");
    QTest::addColumn<quint16>("count");
    QTest::addColumn<QByteArray>("frame");
    // CRC-16/XMODEM worked out apart from the codec.
    QTest::newRow("login accepted") << quint16(0x007D) << quint16(64) << hex("0110007d00409367");
    QTest::newRow("credentials changed")
        << quint16(0x00BD) << quint16(64) << hex("011000bd0040b590");
    QTest::newRow("count with the high bit set")
        << quint16(0x0031) << quint16(0xFFFF) << hex("01100031ffffae60");
}

void TestBytes::writeReplies()
{
    QFETCH(quint16, first);
    QFETCH(quint16, count);
    QFETCH(QByteArray, frame);
    const QByteArray reply = buildWriteReply(first, count);
    QCOMPARE(reply, frame);
    QCOMPARE(classifyReply(reply), ReplyKind::Accepted);
}

void TestBytes::wifiReplyTraceMasksThePassword_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("maskedBytes");
    QTest::newRow("whole Wi-Fi reply: the 32 password bytes")
        << int(SessionRequest::ReadWifi) << 121 << 32;
    QTest::newRow("Wi-Fi reply cut inside the password")
        << int(SessionRequest::ReadWifi) << 80 << 7;
    QTest::newRow("Wi-Fi reply cut before the password")
        << int(SessionRequest::ReadWifi) << 73 << 0;
    QTest::newRow("FE reply shown whole") << int(SessionRequest::ReadFe) << 19 << 0;
    QTest::newRow("RS-485 reply shown whole") << int(SessionRequest::ReadUart) << 15 << 0;
}

void TestBytes::wifiReplyTraceMasksThePassword()
{
    QFETCH(int, request);
    QFETCH(int, length);
    QFETCH(int, maskedBytes);
    QByteArray reply(length, 'A'); // 0x41: shown as "41" unless masked
    const QString trace = replyTraceHex(SessionRequest(request), reply);
    QCOMPARE(trace.count(QStringLiteral("**")), maskedBytes);
    QCOMPARE(trace.count(QStringLiteral("41")), length - maskedBytes);
    QCOMPARE(trace.size(), length * 3 - 1); // every byte still shown, blank-separated
    if (maskedBytes > 0)
        QCOMPARE(trace.mid(73 * 3, 2), QStringLiteral("**"));
}

void TestBytes::secretsNeedTheirExactName_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("no rules") << QString() << false;
    QTest::newRow("named with its level") << QStringLiteral("maint.crypto.debug=true") << true;
    QTest::newRow("named for every level") << QStringLiteral("maint.crypto=true") << true;
    QTest::newRow("all debug lines by wildcard") << QStringLiteral("*.debug=true") << false;
    QTest::newRow("the tool's wildcard") << QStringLiteral("maint.*.debug=true") << false;
    QTest::newRow("trailing wildcard on the name") << QStringLiteral("maint.crypto*=true") << false;
    QTest::newRow("named among others, blanks around")
        << QStringLiteral("maint.serial.debug=true; maint.crypto.debug = true") << true;
    QTest::newRow("rules on separate lines")
        << QStringLiteral("maint.protocol.debug=true\nmaint.crypto.debug=true") << true;
    QTest::newRow("named, then switched off")
        << QStringLiteral("maint.crypto.debug=true;maint.crypto.debug=false") << false;
    QTest::newRow("switched off, then named")
        << QStringLiteral("maint.crypto.debug=false;maint.crypto.debug=true") << true;
    QTest::newRow("another level named") << QStringLiteral("maint.crypto.warning=true") << false;
    QTest::newRow("a longer name") << QStringLiteral("maint.cryptography.debug=true") << false;
}

void TestBytes::secretsNeedTheirExactName()
{
    QFETCH(QString, rules);
    QFETCH(bool, enabled);
    QCOMPARE(rulesNameCategoryExactly(rules, QStringLiteral("maint.crypto")), enabled);
}

QTEST_APPLESS_MAIN(TestBytes)
#include "tst_bytes.moc"
