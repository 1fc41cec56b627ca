// The file transfers' decisions without a page: cutting a file into blocks
// piece by piece, which files may be sent, the judges of the module's
// replies, the log reply, the receive loop's bookkeeping, the digest
// comparison and the progress text.
#include "protocol/frame.h"
#include "transfer/logreceive.h"
#include "transfer/transferframes.h"
#include "transfer/transferprogress.h"
#include "transfer/upgradejudge.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

Q_DECLARE_METATYPE(FirmwareRefusal)
Q_DECLARE_METATYPE(LogRequestReply)
Q_DECLARE_METATYPE(QCryptographicHash::Algorithm)

namespace
{

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// A log reply with N set by hand, its CRC intact.
QByteArray logReplyWithN(quint8 n, int digestLength)
{
    QByteArray reply = buildLogReply("sys.log", 300, QByteArray(digestLength, 'a'));
    reply.chop(2);
    reply[3] = char(n);
    appendCrc(reply);
    return reply;
}

// A block frame as the module sends it.
QByteArray block(int dataLength, char fill)
{
    return buildTransferBlock(0, QByteArray(dataLength, fill));
}

} // namespace

class TestTransferLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readBlocksMatchesTheWholeFileCut_data();
    void readBlocksMatchesTheWholeFileCut();
    void firmwareFileChecks_data();
    void firmwareFileChecks();
    void digestFollowsTheSoftwareVersion_data();
    void digestFollowsTheSoftwareVersion();
    void replyJudges_data();
    void replyJudges();
    void logRequestReply_data();
    void logRequestReply();
    void logFileNames_data();
    void logFileNames();
    void receiveBookkeeping_data();
    void receiveBookkeeping();
    void digestComparison_data();
    void digestComparison();
    void progressTextOnAKnownRate_data();
    void progressTextOnAKnownRate();
    void progressTextIsRenewedAFewTimesASecond();
};

void TestTransferLogic::initTestCase()
{
    // File names are measured in the local encoding; make it UTF-8 whatever
    // the test machine's locale is.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
}

void TestTransferLogic::readBlocksMatchesTheWholeFileCut_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("deviceBytes"); // what the device really holds
    QTest::addColumn<int>("blockCount");
    QTest::newRow("2500 bytes: two large, four small") << 2500 << 2500 << 6;
    QTest::newRow("100 bytes: one padded small block") << 100 << 100 << 1;
    QTest::newRow("whole kilobytes only") << 2048 << 2048 << 2;
    QTest::newRow("one byte short of a kilobyte") << 1023 << 1023 << 8;
    QTest::newRow("numbers wrap past 255") << 300 * 1024 + 5 << 300 * 1024 + 5 << 301;
    QTest::newRow("file got shorter: stops before the short piece") << 2500 << 2100 << 2;
}

void TestTransferLogic::readBlocksMatchesTheWholeFileCut()
{
    QFETCH(int, size);
    QFETCH(int, deviceBytes);
    QFETCH(int, blockCount);
    QByteArray content = patterned(deviceBytes);
    QBuffer device(&content);
    QVERIFY(device.open(QIODevice::ReadOnly));
    qint64 bytesRead = -1;
    const QList<QByteArray> blocks = readBlocks(&device, size, &bytesRead);
    QCOMPARE(blocks.size(), blockCount);
    QCOMPARE(blocks, cutIntoBlocks(content.left(int(bytesRead))));
    qint64 carried = 0;
    for (const QByteArray &frame : blocks)
        carried += frame.size() - Transfer::BLOCK_OVERHEAD;
    QVERIFY(carried >= bytesRead && carried - bytesRead < Transfer::SMALL_BLOCK_DATA);
    if (deviceBytes == size)
        QCOMPARE(bytesRead, qint64(size));
}

void TestTransferLogic::firmwareFileChecks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size"); // -1: no file
    QTest::addColumn<FirmwareRefusal>("expected");
    const QString ascii60(60, QLatin1Char('f'));
    QTest::newRow("ordinary file") << "fw.bin" << qint64(2500) << FirmwareRefusal::None;
    QTest::newRow("missing file") << "gone.bin" << qint64(-1) << FirmwareRefusal::Unreadable;
    QTest::newRow("empty file") << "empty.bin" << qint64(0) << FirmwareRefusal::Empty;
    QTest::newRow("exactly 30 MiB accepted")
        << "big.bin" << qint64(31457280) << FirmwareRefusal::None;
    QTest::newRow("one byte over 30 MiB refused")
        << "big.bin" << qint64(31457281) << FirmwareRefusal::TooLarge;
    QTest::newRow("64-byte name accepted")
        << ascii60 + QStringLiteral(".bin") << qint64(10) << FirmwareRefusal::None;
    QTest::newRow("65-byte name refused")
        << ascii60 + QStringLiteral("f.bin") << qint64(10) << FirmwareRefusal::NameTooLong;
    // 60 + 3 bytes of one Chinese character + 4: cutting at 64 would split it.
    QTest::newRow("multi-byte character past byte 64 refused")
        << ascii60 + QStringLiteral("固.bin") << qint64(10) << FirmwareRefusal::NameTooLong;
}

void TestTransferLogic::firmwareFileChecks()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(FirmwareRefusal, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(name);
    if (size >= 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size)); // sparse: no 30 MiB written
    }
    QCOMPARE(checkFirmwareFile(path), expected);
    QCOMPARE(checkFirmwareFile(dir.path()), FirmwareRefusal::Unreadable); // a directory
}

void TestTransferLogic::digestFollowsTheSoftwareVersion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QCryptographicHash::Algorithm>("expected");
    QTest::newRow("not read yet") << QString() << QCryptographicHash::Sha1;
    QTest::newRow("124") << "124" << QCryptographicHash::Sha1;
    QTest::newRow("125") << "125" << QCryptographicHash::Sha256;
    QTest::newRow("not a number") << "1.2.5" << QCryptographicHash::Sha1;
}

void TestTransferLogic::digestFollowsTheSoftwareVersion()
{
    QFETCH(QString, version);
    QFETCH(QCryptographicHash::Algorithm, expected);
    QCOMPARE(upgradeDigestFor(version), expected);
}

void TestTransferLogic::replyJudges_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("resends");
    QTest::addColumn<int>("expected");
    const QByteArray error = QByteArray::fromHex("01c104");
    const auto row = [](const char *name, const char *step, const QByteArray &reply, int resends,
                        int expected) {
        QTest::newRow(name) << QString::fromLatin1(step) << reply << resends << expected;
    };
    row("start: lone C is ready", "start", "C", 0, int(StartReply::Ready));
    row("start: C with more bytes fails", "start", "CC", 0, int(StartReply::Refused));
    row("start: three bytes are an error reply", "start", "C\x01\x02", 0,
        int(StartReply::ErrorReply));
    row("start: ACK is no start", "start", "\x06", 0, int(StartReply::Refused));
    row("start: nothing", "start", "", 0, int(StartReply::TimedOut));
    row("block: ACK", "block", "\x06", 0, int(BlockStep::Acknowledged));
    row("block: fifth NAK still resends", "block", "\x15", 4, int(BlockStep::Resend));
    row("block: sixth NAK aborts", "block", "\x15", 5, int(BlockStep::TooManyResends));
    row("block: error reply", "block", error, 0, int(BlockStep::ErrorReply));
    row("block: ACK with trailing byte is unrelated", "block", "\x06\x06", 0,
        int(BlockStep::Unrelated));
    row("block: lone CAN is unrelated here", "block", "\x18", 0, int(BlockStep::Unrelated));
    row("block: nothing", "block", "", 0, int(BlockStep::TimedOut));
    row("verdict: ACK accepts", "verdict", "\x06", 0, int(Verdict::Accepted));
    row("verdict: NAK rejects", "verdict", "\x15", 0, int(Verdict::Rejected));
    row("verdict: two ACKs reject", "verdict", "\x06\x06", 0, int(Verdict::Rejected));
    row("verdict: error reply", "verdict", error, 0, int(Verdict::ErrorReply));
    row("verdict: nothing", "verdict", "", 0, int(Verdict::TimedOut));
    row("stop: ACK", "stop", "\x06", 0, int(StopReply::Acknowledged));
    row("stop: NAK fails quietly", "stop", "\x15", 0, int(StopReply::Other));
    row("stop: error reply", "stop", error, 0, int(StopReply::ErrorReply));
    row("stop: nothing", "stop", "", 0, int(StopReply::TimedOut));
}

void TestTransferLogic::replyJudges()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, reply);
    QFETCH(int, resends);
    QFETCH(int, expected);
    int judged = -1;
    if (step == QLatin1String("start"))
        judged = int(judgeStartReply(reply));
    else if (step == QLatin1String("block"))
        judged = int(judgeBlockReply(reply, resends));
    else if (step == QLatin1String("verdict"))
        judged = int(judgeVerdictReply(reply));
    else
        judged = int(judgeStopReply(reply));
    QCOMPARE(judged, expected);
}

void TestTransferLogic::logRequestReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<LogRequestReply>("expected");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    const QByteArray sha256(64, 'b');
    const QByteArray good = buildLogReply("  sys.log", 300, sha256);
    QByteArray badCrc = good;
    badCrc[good.size() - 1] = char(badCrc.at(good.size() - 1) ^ 1);
    QTest::newRow("nothing") << QByteArray() << LogRequestReply::TimedOut << QString() << 0;
    QTest::newRow("three bytes") << QByteArray::fromHex("01c104") << LogRequestReply::ErrorReply
                                 << QString() << 0;
    QTest::newRow("69 bytes are unrelated")
        << good.left(69) << LogRequestReply::Unrelated << QString() << 0;
    QTest::newRow("70 bytes are checked")
        << good.left(70) << LogRequestReply::ChecksumFailure << QString() << 0;
    QTest::newRow("CRC fails") << badCrc << LogRequestReply::ChecksumFailure << QString() << 0;
    QTest::newRow("N below 69 with a good CRC")
        << logReplyWithN(68, 64) << LogRequestReply::Malformed << QString() << 0;
    QTest::newRow("digest running into the CRC")
        << logReplyWithN(69 + 70, 64) << LogRequestReply::Malformed << QString() << 0;
    QTest::newRow("name trimmed, size and digest taken")
        << good << LogRequestReply::Accepted << "sys.log" << 300;
    QTest::newRow("size of 2^31 counts as 0")
        << buildLogReply("a.log", 0x80000000u, sha256) << LogRequestReply::Accepted << "a.log" << 0;
}

void TestTransferLogic::logRequestReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(LogRequestReply, expected);
    QFETCH(QString, name);
    QFETCH(int, size);
    LogAnnouncement announced;
    announced.size = -7;
    QCOMPARE(judgeLogRequestReply(reply, &announced), expected);
    if (expected != LogRequestReply::Accepted) {
        QCOMPARE(announced.size, -7); // untouched
        return;
    }
    QCOMPARE(announced.fileName, name);
    QCOMPARE(announced.size, size);
    QCOMPARE(announced.digest, QByteArray(64, 'b'));
}

void TestTransferLogic::logFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "sys.log" << true;
    QTest::newRow("dots inside") << "sys..log" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("parent path") << "../escape.log" << false;
    QTest::newRow("absolute path") << "/tmp/escape.log" << false;
    QTest::newRow("backslash") << "..\\escape.log" << false;
}

void TestTransferLogic::logFileNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(isSafeLogFileName(name), safe);
}

using Outcome = LogReceiver::Outcome;

void TestTransferLogic::receiveBookkeeping_data()
{
    QTest::addColumn<int>("expectedSize");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<int>>("outcomes");
    QTest::addColumn<QList<qint64>>("progress"); // -1 where no block was taken
    QTest::addColumn<QByteArray>("file");

    const QByteArray a = block(128, 'a');
    const QByteArray b = block(128, 'b');
    const QByteArray c = block(128, 'c');
    const QByteArray k = block(1024, 'k');
    const int W = int(Outcome::Written);
    const int BAD = int(Outcome::BadCrc);
    const int NONE = int(Outcome::Empty);
    QTest::newRow("300 bytes in 128-byte blocks: the third gives 44")
        << 300 << QList<QByteArray>{a, b, c} << QList<int>{W, W, W} << QList<qint64>{128, 256, 300}
        << QByteArray(128, 'a') + QByteArray(128, 'b') + QByteArray(44, 'c');
    QTest::newRow("final kilobyte block past the size: bar beyond its range")
        << 1000 << QList<QByteArray>{k} << QList<int>{W} << QList<qint64>{1000 + 1024 - 128}
        << QByteArray(1000, 'k');
    QTest::newRow("block split across two passes fails twice, then comes whole")
        << 256 << QList<QByteArray>{a, b.left(60), b.mid(60), b} << QList<int>{W, BAD, BAD, W}
        << QList<qint64>{128, -1, -1, 256} << QByteArray(128, 'a') + QByteArray(128, 'b');
    QTest::newRow("empty pass and short chunks are not blocks")
        << 128 << QList<QByteArray>{QByteArray(), QByteArray("\x01\x00"), a}
        << QList<int>{NONE, BAD, W} << QList<qint64>{-1, -1, 128} << QByteArray(128, 'a');
    QTest::newRow("a repeated block after the size writes nothing")
        << 100 << QList<QByteArray>{a, a} << QList<int>{W, W} << QList<qint64>{100, 100 + 0}
        << QByteArray(100, 'a');
}

void TestTransferLogic::receiveBookkeeping()
{
    QFETCH(int, expectedSize);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<int>, outcomes);
    QFETCH(QList<qint64>, progress);
    QFETCH(QByteArray, file);
    LogReceiver receiver(expectedSize);
    QByteArray written;
    for (int i = 0; i < chunks.size(); ++i) {
        const LogReceiver::Result result = receiver.take(chunks.at(i));
        QCOMPARE(int(result.outcome), outcomes.at(i));
        if (progress.at(i) >= 0)
            QCOMPARE(result.progress, progress.at(i));
        written += result.toWrite;
    }
    QCOMPARE(written, file);
    QCOMPARE(receiver.written(), qint64(file.size()));
}

void TestTransferLogic::digestComparison_data()
{
    const QByteArray content("log text\n");
    const QByteArray sha256 = QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
    const QByteArray sha1 = QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex();
    QTest::addColumn<QByteArray>("announced");
    QTest::addColumn<QByteArray>("sha256");
    QTest::addColumn<QByteArray>("sha1");
    QTest::addColumn<bool>("matches");
    QTest::newRow("SHA-256 text") << sha256 << sha256 << sha1 << true;
    QTest::newRow("SHA-1 text") << sha1 << sha256 << sha1 << true;
    QTest::newRow("text up to its zero byte")
        << sha1 + QByteArray(24, '\0') << sha256 << sha1 << true;
    QTest::newRow("upper case never matches") << sha256.toUpper() << sha256 << sha1 << false;
    QTest::newRow("other file") << sha1 << sha256 << QByteArray(40, '0') << false;
}

void TestTransferLogic::digestComparison()
{
    QFETCH(QByteArray, announced);
    QFETCH(QByteArray, sha256);
    QFETCH(QByteArray, sha1);
    QFETCH(bool, matches);
    QCOMPARE(logDigestMatches(announced, sha256, sha1), matches);
}

void TestTransferLogic::progressTextOnAKnownRate_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing measured yet")
        << qint64(1000) << qint64(0) << qint64(0) << QString("0% · -- KB/s · 剩余 --:--");
    QTest::newRow("20 KB/s, three seconds left") << qint64(102400) << qint64(40960) << qint64(2000)
                                                 << QString("40% · 20.0 KB/s · 剩余 00:03");
    // 30 MiB at 22.4 KB/s (230400 baud), 37 % through.
    QTest::newRow("30 MiB at line rate") << qint64(31457280) << qint64(11639194) << qint64(507420)
                                         << QString("37% · 22.4 KB/s · 剩余 14:24");
    QTest::newRow("over an hour left")
        << qint64(100 * 1024 * 1024) << qint64(1024 * 1024) << qint64(100000)
        << QString("1% · 10.2 KB/s · 剩余 2:45:00");
    QTest::newRow("done") << qint64(5000) << qint64(5000) << qint64(1000)
                          << QString("100% · 4.9 KB/s · 剩余 00:00");
}

void TestTransferLogic::progressTextOnAKnownRate()
{
    QFETCH(qint64, total);
    QFETCH(qint64, done);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, text);
    TransferProgress progress;
    progress.start(total, 1000000); // any clock origin
    QVERIFY(progress.update(done, 1000000 + elapsedMs));
    QCOMPARE(progress.text(), text);
}

void TestTransferLogic::progressTextIsRenewedAFewTimesASecond()
{
    TransferProgress progress;
    progress.start(10000, 0);
    QVERIFY(progress.update(100, 10));
    const QString first = progress.text();
    QVERIFY(!progress.update(200, 10 + TransferProgress::REFRESH_MS - 1));
    QCOMPARE(progress.text(), first);
    QVERIFY(progress.update(300, 10 + TransferProgress::REFRESH_MS));
    QVERIFY(progress.text() != first);
    QVERIFY(progress.update(10000, 10 + TransferProgress::REFRESH_MS + 1)); // the last byte
    QVERIFY(progress.text().startsWith(QStringLiteral("100% ")));
}

QTEST_GUILESS_MAIN(TestTransferLogic)
#include "tst_transfer_logic.moc"
