// The file transfers' decisions that the page tests cannot reach at their
// edges: cutting a file into blocks piece by piece, the receive loop's
// bookkeeping and the progress text on a given clock.
#include "transfer/logreceive.h"
#include "transfer/transferframes.h"
#include "transfer/transferprogress.h"
#include "transfer/upgradejudge.h"

#include <QBuffer>
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
    void readBlocksMatchesTheWholeFileCut_data();
    void readBlocksMatchesTheWholeFileCut();
    void receiveBookkeeping_data();
    void receiveBookkeeping();
    void progressTextOnAKnownRate_data();
    void progressTextOnAKnownRate();
    void progressTextIsRenewedAFewTimesASecond();
};

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
    QTest::newRow("done within the first millisecond")
        << qint64(2500) << qint64(2500) << qint64(0) << QString("100% · 2441.4 KB/s · 剩余 00:00");
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
