#include "protocol/frame.h"
#include "ui/device/sigledebug_errors.h"

#include <QtTest>

namespace
{

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray withCrc(QByteArray frame)
{
    appendCrc(frame);
    return frame;
}

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void crcKnownValues_data();
    void crcKnownValues();
    void crcOfNothingIsZero();
    void replyCrcCheck_data();
    void replyCrcCheck();
    void classify_data();
    void classify();
    void sessionRequests_data();
    void sessionRequests();
    void logoutFrame();
    void writeFieldsAreFittedToTheirWidth();
    void writeRequestRejectsOddOrOversizedData();
    void errorReplyTable_data();
    void errorReplyTable();
    void errorCodeOfShortReply();
};

void TestFrame::crcKnownValues_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::newRow("published check value") << QByteArray("123456789") << 0x31C3;
    QTest::newRow("RS-485 read request") << hex("010300200005") << 0x7D11;
    QTest::newRow("version read request") << hex("010300000002") << 0x8B30;
    QTest::newRow("single zero byte") << hex("00") << 0x0000;
    QTest::newRow("single 0xFF byte") << hex("ff") << 0x1EF0;
}

void TestFrame::crcKnownValues()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QCOMPARE(int(crc16Xmodem(data)), crc);
    QCOMPARE(int(crc16Xmodem(data.constData(), data.size())), crc);
}

void TestFrame::crcOfNothingIsZero()
{
    QCOMPARE(int(crc16Xmodem(QByteArray())), 0);
    QCOMPARE(int(crc16Xmodem("abc", 0)), 0);
    QCOMPARE(int(crc16Xmodem("abc", -5)), 0);
}

void TestFrame::replyCrcCheck_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("passes");
    const QByteArray versionReply = withCrc(hex("010304007d0003"));
    QByteArray swapped = versionReply;
    swapped[swapped.size() - 1] = versionReply.at(versionReply.size() - 2);
    swapped[swapped.size() - 2] = versionReply.at(versionReply.size() - 1);
    QByteArray highWrong = versionReply;
    highWrong[highWrong.size() - 2] = char(highWrong.at(highWrong.size() - 2) ^ 0x01);
    QByteArray lowWrong = versionReply;
    lowWrong[lowWrong.size() - 1] = char(lowWrong.at(lowWrong.size() - 1) ^ 0x80);
    QByteArray dataWrong = versionReply;
    dataWrong[4] = char(dataWrong.at(4) ^ 0x10);

    QTest::newRow("good reply") << versionReply << true;
    QTest::newRow("CRC low byte first") << swapped << false;
    QTest::newRow("high byte wrong") << highWrong << false;
    QTest::newRow("low byte wrong") << lowWrong << false;
    QTest::newRow("data changed") << dataWrong << false;
    QTest::newRow("request example") << hex("010300200005"
                                            "7d11")
                                     << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("one byte") << hex("00") << false;
    QTest::newRow("two zero bytes") << hex("0000") << false;
    QTest::newRow("three bytes, CRC of one") << withCrc(hex("06")) << true;
}

void TestFrame::replyCrcCheck()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, passes);
    // A copy on the heap of exactly the reply's size, so that a read past the
    // end is caught by the address sanitizer.
    QScopedArrayPointer<char> exact(new char[size_t(qMax(1, reply.size()))]);
    memcpy(exact.data(), reply.constData(), size_t(reply.size()));
    QCOMPARE(checkReplyCrc(exact.data(), reply.size()), passes);
    QCOMPARE(checkReplyCrc(reply), passes);
}

void TestFrame::classify_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("kind");
    QTest::newRow("nothing") << QByteArray() << int(ReplyKind::Nothing);
    QTest::newRow("one byte") << hex("01") << int(ReplyKind::ChecksumFailure);
    QTest::newRow("two bytes") << hex("0103") << int(ReplyKind::ChecksumFailure);
    QTest::newRow("three bytes are an error reply") << hex("019012") << int(ReplyKind::ErrorReply);
    // Three bytes whose last two happen to be a valid CRC still count as error reply.
    QTest::newRow("three bytes with valid CRC") << withCrc(hex("06")) << int(ReplyKind::ErrorReply);
    QTest::newRow("four bytes go to the CRC check")
        << hex("01901200") << int(ReplyKind::ChecksumFailure);
    QTest::newRow("four bytes with valid CRC") << withCrc(hex("0190")) << int(ReplyKind::Accepted);
    QTest::newRow("write reply") << withCrc(hex("0110007d0040")) << int(ReplyKind::Accepted);
}

void TestFrame::classify()
{
    QFETCH(QByteArray, received);
    QFETCH(int, kind);
    QCOMPARE(int(classifyReply(received)), kind);
}

void TestFrame::sessionRequests_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("replyBytes");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("limit");
    auto row = [](const char *name, SessionRequest r, const char *header, int length, int reply,
                  int limit) {
        QTest::newRow(name) << int(r) << QByteArray::fromHex(header) << length << reply << reply - 1
                            << limit;
    };
    row("versions", SessionRequest::ReadVersions, "010300000002", 8, 9, 500);
    row("RS-485", SessionRequest::ReadUart, "010300200005", 8, 15, 500);
    row("Wi-Fi", SessionRequest::ReadWifi, "01030031003a", 8, 121, 500);
    row("FE", SessionRequest::ReadFe, "010300710007", 8, 19, 500);
    row("SSID", SessionRequest::WriteSsid, "01100031002040", 73, 8, 500);
    row("Wi-Fi password", SessionRequest::WriteWifiPassword, "01100054001020", 41, 8, 500);
    row("Wi-Fi MAC", SessionRequest::WriteWifiMac, "01100068000306", 15, 8, 500);
    row("FE MAC", SessionRequest::WriteFeMac, "01100075000306", 15, 8, 500);
    row("login", SessionRequest::Login, "0110007d004080", 137, 8, 1000);
    row("credential change", SessionRequest::ChangeCredentials, "011000bd004080", 137, 8, 1000);
}

void TestFrame::sessionRequests()
{
    QFETCH(int, request);
    QFETCH(QByteArray, header);
    QFETCH(int, length);
    QFETCH(int, replyBytes);
    QFETCH(int, threshold);
    QFETCH(int, limit);
    const auto r = SessionRequest(request);
    const SessionRequestSpec &spec = sessionRequestSpec(r);
    const QByteArray frame = spec.function == Frame::FUNCTION_READ
                                 ? buildSessionReadRequest(r)
                                 : buildSessionWriteRequest(r, QByteArray("abc"));
    QCOMPARE(frame.size(), length);
    QCOMPARE(spec.requestBytes, length);
    QCOMPARE(frame.left(header.size()), header);
    QVERIFY(checkReplyCrc(frame));
    const quint16 crc = crc16Xmodem(frame.constData(), frame.size() - 2);
    QCOMPARE(quint8(frame.at(frame.size() - 2)), quint8(crc >> 8));
    QCOMPARE(quint8(frame.at(frame.size() - 1)), quint8(crc & 0xFF));
    QCOMPARE(spec.replyBytes, replyBytes);
    QCOMPARE(replyThreshold(r), threshold);
    QCOMPARE(spec.timeLimitMs, limit);
    // A read builder refuses writes and the other way round.
    if (spec.function == Frame::FUNCTION_READ)
        QVERIFY(buildSessionWriteRequest(r, QByteArray(4, 'x')).isEmpty());
    else
        QVERIFY(buildSessionReadRequest(r).isEmpty());
}

void TestFrame::logoutFrame()
{
    const QByteArray frame = buildLogoutRequest();
    QCOMPARE(frame.size(), 11);
    QCOMPARE(frame.left(9), hex("011000fd0001020001"));
    QCOMPARE(frame, withCrc(hex("011000fd0001020001")));
    QCOMPARE(sessionRequestSpec(SessionRequest::Logout).replyBytes, 0);
}

void TestFrame::writeFieldsAreFittedToTheirWidth()
{
    const QByteArray longSsid(80, 'S');
    const QByteArray frame = buildSessionWriteRequest(SessionRequest::WriteSsid, longSsid);
    QCOMPARE(frame.size(), 73);
    QCOMPARE(frame.mid(7, 64), QByteArray(64, 'S'));

    const QByteArray exact(64, 'E');
    QCOMPARE(buildSessionWriteRequest(SessionRequest::WriteSsid, exact).mid(7, 64), exact);

    const QByteArray shortPassword =
        buildSessionWriteRequest(SessionRequest::WriteWifiPassword, QByteArray("pass"));
    QCOMPARE(shortPassword.mid(7, 4), QByteArray("pass"));
    QCOMPARE(shortPassword.mid(11, 28), QByteArray(28, '\0'));

    const QByteArray mac =
        buildSessionWriteRequest(SessionRequest::WriteWifiMac, hex("001a2b3c4d5e"));
    QCOMPARE(mac.mid(7, 6), hex("001a2b3c4d5e"));
}

void TestFrame::writeRequestRejectsOddOrOversizedData()
{
    QVERIFY(buildWriteRequest(0x31, QByteArray(3, 'x')).isEmpty());
    QVERIFY(buildWriteRequest(0x31, QByteArray(256, 'x')).isEmpty());
    const QByteArray largest = buildWriteRequest(0x31, QByteArray(254, 'x'));
    QCOMPARE(largest.size(), 7 + 254 + 2);
    QCOMPARE(quint8(largest.at(6)), quint8(254));
    QCOMPARE(largest.mid(4, 2), hex("007f"));
}

void TestFrame::errorReplyTable_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("effect");
    QTest::addColumn<bool>("alwaysBox");
    const int none = int(SessionEffect::None);
    const int ends = int(SessionEffect::EndsSession);
    QTest::newRow("0x01") << 0x01 << "非法功能！"
                          << "反馈：非法功能！" << none << false;
    QTest::newRow("0x02") << 0x02 << "非法数据地址！"
                          << "反馈：非法数据地址！" << none << false;
    QTest::newRow("0x03") << 0x03 << "非法数据值！"
                          << "反馈：非法数据值！" << none << false;
    QTest::newRow("0x04") << 0x04 << "设备故障！"
                          << "反馈：设备故障！" << none << false;
    QTest::newRow("0x12") << 0x12 << "设备登录账号或密码错误！"
                          << "反馈：设备登录账号或口令错误！" << none << false;
    QTest::newRow("0x13") << 0x13 << "登录超时！"
                          << "" << ends << true;
    QTest::newRow("0x14") << 0x14 << "连续3次账号或密码错误，账号锁定！"
                          << "反馈：连续3次账号或密码错误，账号锁定！" << none << false;
    QTest::newRow("0x15") << 0x15 << "非法操作！"
                          << "反馈：非法操作！" << ends << false;
    QTest::newRow("0x16") << 0x16 << ""
                          << "" << int(SessionEffect::ForcedPasswordChange) << false;
    QTest::newRow("0x05 unknown") << 0x05 << "未知的异常！"
                                  << "反馈：未知的异常！" << none << false;
    QTest::newRow("0x00 unknown") << 0x00 << "未知的异常！"
                                  << "反馈：未知的异常！" << none << false;
    QTest::newRow("0xFF unknown") << 0xFF << "未知的异常！"
                                  << "反馈：未知的异常！" << none << false;
}

void TestFrame::errorReplyTable()
{
    QFETCH(int, code);
    QFETCH(QString, box);
    QFETCH(QString, log);
    QFETCH(int, effect);
    QFETCH(bool, alwaysBox);
    const ErrorReplyInfo info = errorReplyInfo(quint8(code));
    QCOMPARE(info.boxText, box);
    QCOMPARE(info.logText, log);
    QCOMPARE(int(info.effect), effect);
    QCOMPARE(info.alwaysBox, alwaysBox);
    QCOMPARE(info.clearsLogView, alwaysBox);
}

void TestFrame::errorCodeOfShortReply()
{
    QCOMPARE(int(errorCodeOf(hex("019014"))), 0x14);
    QCOMPARE(int(errorCodeOf(hex("0190"))), 0);
    QCOMPARE(int(errorCodeOf(QByteArray())), 0);
}

QTEST_GUILESS_MAIN(TestFrame)
#include "tst_frame.moc"
