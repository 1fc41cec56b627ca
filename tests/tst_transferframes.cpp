#include "protocol/frame.h"
#include "transfer/transferframes.h"

#include <QtTest>

namespace
{

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

quint16 trailingCrc(const QByteArray &frame)
{
    return quint16((quint8(frame.at(frame.size() - 2)) << 8) | quint8(frame.back()));
}

// A log reply with N forced to `n`, its CRC made to hold.
QByteArray logReplyWithN(const QByteArray &digest, int n)
{
    QByteArray reply = buildLogReply("sys.log", 300, digest);
    reply.chop(2);
    reply[3] = char(n);
    appendCrc(reply);
    return reply;
}

} // namespace

class TstTransferFrames : public QObject
{
    Q_OBJECT

private slots:
    void cutsFilesIntoBlocks_data();
    void cutsFilesIntoBlocks();
    void blockNumbersWrapAfter255();
    void buildsBlocks_data();
    void buildsBlocks();
    void parsesBlocksAndRefusesDamagedOnes_data();
    void parsesBlocksAndRefusesDamagedOnes();
    void buildsStartLoadingRequest_data();
    void buildsStartLoadingRequest();
    void startLoadingNameIsCutAndParsedBack();
    void refusesMalformedStartLoadingRequests_data();
    void refusesMalformedStartLoadingRequests();
    void logRequestFrame();
    void parsesLogReply();
    void refusesBadLogReplies_data();
    void refusesBadLogReplies();
    void logSizeOfTwoToThe31CountsAsZero();
    void digestFollowsSoftwareVersion();
};

void TstTransferFrames::cutsFilesIntoBlocks_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<QList<int>>("blockLengths");
    QTest::addColumn<int>("lastPadding");
    QTest::newRow("2500 bytes: two large, four small, 60 pad bytes")
        << 2500 << QList<int>{1029, 1029, 133, 133, 133, 133} << 60;
    QTest::newRow("2048 bytes: whole kilobytes only") << 2048 << QList<int>{1029, 1029} << 0;
    QTest::newRow("100 bytes: one small block") << 100 << QList<int>{133} << 28;
    QTest::newRow("128 bytes: one small block, no padding") << 128 << QList<int>{133} << 0;
    QTest::newRow("1025 bytes: one large, one small") << 1025 << QList<int>{1029, 133} << 127;
    QTest::newRow("empty file: no block") << 0 << QList<int>{} << 0;
}

void TstTransferFrames::cutsFilesIntoBlocks()
{
    QFETCH(int, fileSize);
    QFETCH(QList<int>, blockLengths);
    QFETCH(int, lastPadding);
    const QByteArray content = patterned(fileSize);
    const QList<QByteArray> blocks = cutIntoBlocks(content);
    QCOMPARE(blocks.size(), blockLengths.size());
    QByteArray joined;
    for (int i = 0; i < blocks.size(); ++i) {
        const QByteArray &block = blocks.at(i);
        QCOMPARE(block.size(), blockLengths.at(i));
        QCOMPARE(block.at(0), block.size() == 1029 ? Transfer::STX : Transfer::SOH);
        QCOMPARE(quint8(block.at(1)), quint8(i));
        QCOMPARE(quint8(block.at(2)), quint8(~i));
        const QByteArray data = block.mid(3, block.size() - 5);
        QCOMPARE(trailingCrc(block), crc16Xmodem(data));
        joined += data;
    }
    QCOMPARE(joined.left(fileSize), content);
    QCOMPARE(joined.mid(fileSize), QByteArray(lastPadding, Transfer::PADDING));
}

void TstTransferFrames::blockNumbersWrapAfter255()
{
    const QList<QByteArray> blocks = cutIntoBlocks(patterned(258 * 1024));
    QCOMPARE(blocks.size(), 258);
    QCOMPARE(quint8(blocks.at(255).at(1)), quint8(255));
    QCOMPARE(quint8(blocks.at(255).at(2)), quint8(0x00));
    QCOMPARE(quint8(blocks.at(256).at(1)), quint8(0));
    QCOMPARE(quint8(blocks.at(256).at(2)), quint8(0xFF));
    QCOMPARE(quint8(blocks.at(257).at(1)), quint8(1));
}

void TstTransferFrames::buildsBlocks_data()
{
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<int>("frameLength");
    QTest::addColumn<int>("dataKept");
    QTest::newRow("1024 bytes: STX block") << 1024 << 1029 << 1024;
    QTest::newRow("128 bytes: SOH block") << 128 << 133 << 128;
    QTest::newRow("1 byte: padded SOH block") << 1 << 133 << 1;
    QTest::newRow("600 bytes: cut to one SOH block") << 600 << 133 << 128;
}

void TstTransferFrames::buildsBlocks()
{
    QFETCH(int, dataSize);
    QFETCH(int, frameLength);
    QFETCH(int, dataKept);
    const QByteArray data = patterned(dataSize);
    const QByteArray block = buildTransferBlock(0x42, data);
    QCOMPARE(block.size(), frameLength);
    QCOMPARE(quint8(block.at(1)), quint8(0x42));
    QCOMPARE(quint8(block.at(2)), quint8(0xBD));
    QCOMPARE(block.mid(3, dataKept), data.left(dataKept));
    const QByteArray field = block.mid(3, frameLength - 5);
    QCOMPARE(field.mid(dataKept), QByteArray(field.size() - dataKept, Transfer::PADDING));
    QCOMPARE(trailingCrc(block), crc16Xmodem(field));
}

void TstTransferFrames::parsesBlocksAndRefusesDamagedOnes_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("accepted");
    const QByteArray good = buildTransferBlock(7, patterned(1024));
    const QByteArray small = buildTransferBlock(9, patterned(40));
    QByteArray badComplement = good;
    badComplement[2] = char(0xF7);
    QByteArray badCrc = good;
    badCrc[1028] = char(badCrc.at(1028) ^ 1);
    QByteArray badData = small;
    badData[10] = char(badData.at(10) ^ 0x80);
    QByteArray wrongHeader = small;
    wrongHeader[0] = Transfer::STX;
    QTest::newRow("large block") << good << true;
    QTest::newRow("small block") << small << true;
    QTest::newRow("complement does not match") << badComplement << false;
    QTest::newRow("CRC low byte changed") << badCrc << false;
    QTest::newRow("data byte changed") << badData << false;
    QTest::newRow("STX header on a 133-byte frame") << wrongHeader << false;
    QTest::newRow("one byte short") << good.left(1028) << false;
    QTest::newRow("one byte long") << good + 'x' << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TstTransferFrames::parsesBlocksAndRefusesDamagedOnes()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, accepted);
    quint8 number = 0xEE;
    QByteArray data = "untouched";
    QCOMPARE(parseTransferBlock(frame, &number, &data), accepted);
    if (accepted) {
        QCOMPARE(number, quint8(frame.at(1)));
        QCOMPARE(data, frame.mid(3, frame.size() - 5));
    } else {
        QCOMPARE(number, quint8(0xEE));
        QCOMPARE(data, QByteArray("untouched"));
    }
}

void TstTransferFrames::buildsStartLoadingRequest_data()
{
    QTest::addColumn<int>("algorithm");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("n");
    QTest::newRow("SHA-1: 115 bytes, N 0x6D") << int(QCryptographicHash::Sha1) << 115 << 0x6D;
    QTest::newRow("SHA-256: 139 bytes, N 0x85") << int(QCryptographicHash::Sha256) << 139 << 0x85;
}

void TstTransferFrames::buildsStartLoadingRequest()
{
    QFETCH(int, algorithm);
    QFETCH(int, length);
    QFETCH(int, n);
    const QByteArray file = patterned(2500);
    const QByteArray digest = digestHex(file, QCryptographicHash::Algorithm(algorithm));
    const QByteArray frame = buildStartLoadingRequest("fw.bin", quint32(file.size()), digest);
    QCOMPARE(frame.size(), length);
    QCOMPARE(frame.left(3), QByteArray::fromHex("014101"));
    QCOMPARE(quint8(frame.at(3)), quint8(n));
    QCOMPARE(frame.at(4), char(0x02));
    QCOMPARE(frame.mid(5, 64), QByteArray("fw.bin").leftJustified(64, '\0'));
    QCOMPARE(frame.mid(69, 4), QByteArray::fromHex("000009C4"));
    QCOMPARE(frame.mid(73, digest.size()), digest);
    QVERIFY(checkReplyCrc(frame));

    LoadingAnnouncement parsed;
    QVERIFY(parseStartLoadingRequest(frame, &parsed));
    QCOMPARE(parsed.encodedName, QByteArray("fw.bin"));
    QCOMPARE(parsed.size, quint32(2500));
    QCOMPARE(parsed.digest, digest);
}

void TstTransferFrames::startLoadingNameIsCutAndParsedBack()
{
    const QByteArray longName = QByteArray(70, 'n');
    const QByteArray frame = buildStartLoadingRequest(longName, 1, QByteArray(40, 'a'));
    QCOMPARE(frame.size(), 115);
    LoadingAnnouncement parsed;
    QVERIFY(parseStartLoadingRequest(frame, &parsed));
    QCOMPARE(parsed.encodedName, longName.left(64));
}

void TstTransferFrames::refusesMalformedStartLoadingRequests_data()
{
    QTest::addColumn<QByteArray>("frame");
    const QByteArray good = buildStartLoadingRequest("fw.bin", 2500, QByteArray(40, 'a'));
    QByteArray badCrc = good;
    badCrc[100] = 'b';
    QByteArray shortN = good.left(good.size() - 2);
    shortN[3] = char(68);
    appendCrc(shortN);
    QTest::newRow("CRC fails") << badCrc;
    QTest::newRow("N 68, below the fixed part") << shortN;
    QTest::newRow("one byte short") << good.left(good.size() - 1);
    QTest::newRow("log request instead") << buildLogRequest();
    QTest::newRow("header only") << good.left(4);
}

void TstTransferFrames::refusesMalformedStartLoadingRequests()
{
    QFETCH(QByteArray, frame);
    LoadingAnnouncement parsed;
    parsed.size = 77;
    QVERIFY(!parseStartLoadingRequest(frame, &parsed));
    QCOMPARE(parsed.size, quint32(77));
}

void TstTransferFrames::logRequestFrame()
{
    QCOMPARE(buildLogRequest(), QByteArray::fromHex("014105010"
                                                    "35ADB"));
}

void TstTransferFrames::parsesLogReply()
{
    const QByteArray digest = digestHex("content", QCryptographicHash::Sha256);
    QByteArray reply = buildLogReply("  sys.log", 300, digest);
    QCOMPARE(reply.size(), 75 + 64);
    QCOMPARE(quint8(reply.at(3)), quint8(69 + 64));
    LogAnnouncement parsed;
    QVERIFY(parseLogReply(reply, &parsed));
    QCOMPARE(parsed.fileName, QStringLiteral("sys.log"));
    QCOMPARE(parsed.size, 300);
    QCOMPARE(parsed.digest, digest);
}

void TstTransferFrames::refusesBadLogReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    const QByteArray digest(40, 'c');
    const QByteArray good = buildLogReply("sys.log", 300, digest);
    QByteArray badCrc = good;
    badCrc[good.size() - 1] = char(badCrc.back() ^ 0x01);
    QByteArray sixtyNine = good.left(67);
    appendCrc(sixtyNine);
    QTest::newRow("69 bytes with a valid CRC") << sixtyNine;
    QTest::newRow("N 68: negative digest length") << logReplyWithN(digest, 68);
    QTest::newRow("N runs the digest past the received bytes") << logReplyWithN(digest, 69 + 41);
    QTest::newRow("N 255 on a short reply") << logReplyWithN(digest, 255);
    QTest::newRow("CRC fails") << badCrc;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("three bytes") << QByteArray::fromHex("01C103");
}

void TstTransferFrames::refusesBadLogReplies()
{
    QFETCH(QByteArray, reply);
    LogAnnouncement parsed;
    parsed.size = 5;
    QVERIFY(!parseLogReply(reply, &parsed));
    QCOMPARE(parsed.size, 5);
}

void TstTransferFrames::logSizeOfTwoToThe31CountsAsZero()
{
    LogAnnouncement parsed;
    QVERIFY(parseLogReply(buildLogReply("sys.log", 0x80000000u, QByteArray(40, 'c')), &parsed));
    QCOMPARE(parsed.size, 0);
    QVERIFY(parseLogReply(buildLogReply("sys.log", 0x7FFFFFFFu, QByteArray(40, 'c')), &parsed));
    QCOMPARE(parsed.size, 0x7FFFFFFF);
}

void TstTransferFrames::digestFollowsSoftwareVersion()
{
    QCOMPARE(transferDigestFor(124), QCryptographicHash::Sha1);
    QCOMPARE(transferDigestFor(125), QCryptographicHash::Sha256);
    QCOMPARE(digestHex("abc", QCryptographicHash::Sha1),
             QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

QTEST_GUILESS_MAIN(TstTransferFrames)
#include "tst_transferframes.moc"
