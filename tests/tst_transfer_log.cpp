// The log upload on the device page against the module simulator over a
// pseudo-terminal: logs under both digests arrive byte for byte, the
// module's faults in the reply and in the stream, the technician's cancel
// and a second request, a hostile announced name, and the port vanishing.
#include "protocol/frame.h"
#include "serial/handleserialport.h"
#include "serial/portenumeration.h"
#include "simulator/simfaults.h"
#include "support/transferfixture.h"
#include "transfer/transferframes.h"

#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QString COMPLETE = QStringLiteral("设备文件传输完成！");
const QString ABORTED = QStringLiteral("设备中断文件传输！");
const QString DIGEST_WRONG = QStringLiteral("文件哈希值校验错误！");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A 69-byte reply: the start of a log reply, cut short.
QString sixtyNineBytes()
{
    return QStringLiteral("raw:") +
           QString::fromLatin1(buildLogReply("sys.log", 10, QByteArray(40, 'a')).left(69).toHex());
}

// A log reply announcing N = 68, its CRC intact.
QString replyWithNBelow69()
{
    QByteArray reply = buildLogReply("sys.log", 10, QByteArray());
    reply.chop(2);
    reply[3] = char(68);
    appendCrc(reply);
    return QStringLiteral("raw:") + QString::fromLatin1(reply.toHex());
}

} // namespace

class TestTransferLog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void logArrivesByteForByte_data();
    void logArrivesByteForByte();
    void moduleFaults_data();
    void moduleFaults();
    void hostileNamesCreateNothingOutside_data();
    void hostileNamesCreateNothingOutside();
    void cancelThenRequestAgain();
    void portVanishingClosesTheFile();

private:
    void prepare(ModuleConfig config, const QStringList &faults = QStringList());
    void request() { fixture->button("pushButton_getLog")->click(); }
    QString savedPath() const
    {
        return fixture->driver->widget<QLineEdit>("lineEdit_savePath")->text();
    }

    std::unique_ptr<TransferFixture> fixture;
    std::unique_ptr<QTemporaryDir> parent;
    QString directory; // the chosen one, inside `parent`
};

void TestTransferLog::cleanup()
{
    fixture.reset();
    parent.reset();
}

void TestTransferLog::prepare(ModuleConfig config, const QStringList &faults)
{
    parent = std::make_unique<QTemporaryDir>();
    QVERIFY(parent->isValid());
    directory = parent->filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkpath(directory));
    fixture = std::make_unique<TransferFixture>();
    QString problem;
    QVERIFY2(fixture->start(config, &problem), qPrintable(problem));
    fixture->answerFileDialogs(QString(), directory);
    fixture->button("pushButton_directory")->click();
    QVERIFY(fixture->button("pushButton_getLog")->isEnabled());
    for (const QString &spec : faults)
        QVERIFY2(applyFault(spec, fixture->model.get(), fixture->link.get(), &problem),
                 qPrintable(problem));
}

void TestTransferLog::logArrivesByteForByte_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("name");
    QTest::newRow("SHA-256 log of two kilobytes and a tail") << 125 << 2500 << "sys.log";
    QTest::newRow("SHA-1 log") << 124 << 1100 << "sys.log";
    QTest::newRow("300 bytes: the last block is cut") << 125 << 300 << "sys.log";
    QTest::newRow("name with leading blanks") << 125 << 200 << "  sys.log";
}

void TestTransferLog::logArrivesByteForByte()
{
    QFETCH(int, version);
    QFETCH(int, size);
    QFETCH(QString, name);
    ModuleConfig config;
    config.softwareVersion = version;
    config.logSize = size;
    config.logFileName = name;
    prepare(config);
    // Sampled at the first block's ACK, while the upload runs.
    int directoryLocked = -1;
    connect(fixture->model.get(), &ModuleModel::requestTaken, this,
            [this, &directoryLocked](const QByteArray &unit) {
                if (directoryLocked < 0 && unit == QByteArray(1, Transfer::ACK))
                    directoryLocked = fixture->button("pushButton_directory")->isEnabled() ? 0 : 1;
            });
    request();
    QTRY_VERIFY_WITH_TIMEOUT(!fixture->button("pushButton_getLog")->isChecked(), 30000);

    const QString path = directory + QStringLiteral("/sys.log");
    QCOMPARE(savedPath(), path);
    QCOMPARE(readFile(path), fixture->model->logContent());
    QCOMPARE(fixture->logLines(), QStringList{COMPLETE}); // the digest matched
    QCOMPARE(directoryLocked, 1);
    QPushButton *getLog = fixture->button("pushButton_getLog");
    QCOMPARE(getLog->text(), QString("请求"));
    QVERIFY(!getLog->isEnabled());
    QVERIFY(fixture->button("pushButton_directory")->isEnabled());
    QVERIFY(!fixture->driver->isShown("progressBar_2"));
}

void TestTransferLog::moduleFaults_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("fileSize"); // -1: no file is created
    QTest::newRow("request timed out")
        << QStringList{"drop-next"} << QStringList{"请求日志反馈超时！"} << -1;
    QTest::newRow("error reply to the request")
        << QStringList{"error:0x04"} << QStringList{"反馈：设备故障！"} << -1;
    QTest::newRow("69-byte reply")
        << QStringList{sixtyNineBytes()} << QStringList{"接收到无关数据！"} << -1;
    QTest::newRow("reply failing its CRC")
        << QStringList{"corrupt-crc:1"} << QStringList{"请求日志响应帧校验错误！"} << -1;
    QTest::newRow("N below 69") << QStringList{replyWithNBelow69()}
                                << QStringList{"请求日志响应帧校验错误！"} << -1;
    QTest::newRow("upper-case digest")
        << QStringList{"log-digest-upper"} << QStringList{COMPLETE, DIGEST_WRONG} << 2500;
    QTest::newRow("block split across two passes is asked for again")
        << QStringList{"log-split:1:450"} << QStringList{COMPLETE} << 2500;
    QTest::newRow("EOT in the middle: digest of the partial file")
        << QStringList{"eot-after:0"} << QStringList{COMPLETE, DIGEST_WRONG} << 1024;
    QTest::newRow("CAN in the middle: partial file kept")
        << QStringList{"can-after:0"} << QStringList{ABORTED} << 1024;
}

void TestTransferLog::moduleFaults()
{
    QFETCH(QStringList, faults);
    QFETCH(QStringList, lines);
    QFETCH(int, fileSize);
    ModuleConfig config;
    config.logSize = 2500;
    prepare(config, faults);
    request();
    QTRY_VERIFY_WITH_TIMEOUT(!fixture->button("pushButton_getLog")->isChecked(), 30000);

    QCOMPARE(fixture->logLines(), lines);
    const QString path = directory + QStringLiteral("/sys.log");
    QCOMPARE(QFile::exists(path), fileSize >= 0);
    if (fileSize >= 0)
        QCOMPARE(readFile(path), fixture->model->logContent().left(fileSize));
    QCOMPARE(fixture->button("pushButton_getLog")->text(), QString("请求"));
}

void TestTransferLog::hostileNamesCreateNothingOutside_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent directory") << "../escape.log";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("empty") << "";
    QTest::newRow("subdirectory") << "sub/inner.log";
    QTest::newRow("backslash") << "..\\escape.log";
}

void TestTransferLog::hostileNamesCreateNothingOutside()
{
    QFETCH(QString, name);
    ModuleConfig config;
    config.logSize = 300;
    config.logFileName = name;
    prepare(config);
    request();

    QCOMPARE(fixture->logLines(),
             QStringList{QStringLiteral("设备日志文件名非法：\"%1\"").arg(name)});
    QCOMPARE(QDir(parent->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"logs"});
    QVERIFY(QDir(directory).isEmpty());
    QVERIFY(!fixture->button("pushButton_getLog")->isChecked());
    QCOMPARE(fixture->model->receivedFrames().count(QByteArray(1, Transfer::READY)), 0);
}

void TestTransferLog::cancelThenRequestAgain()
{
    ModuleConfig config;
    config.logSize = 2500;
    prepare(config);
    // After block 0 the module holds block 1 back and the technician presses
    // "取消": the cancel's ACK is then the only byte on its way.
    bool cancelled = false;
    connect(fixture->model.get(), &ModuleModel::requestTaken, this,
            [this, &cancelled](const QByteArray &unit) {
                if (cancelled || unit != QByteArray(1, Transfer::ACK))
                    return;
                cancelled = true;
                fixture->model->dropNextReply();
                QTimer::singleShot(0, fixture->button("pushButton_getLog"), &QPushButton::click);
            });
    request();
    QTRY_VERIFY_WITH_TIMEOUT(!fixture->button("pushButton_getLog")->isChecked(), 30000);
    const QString path = directory + QStringLiteral("/sys.log");
    QCOMPARE(fixture->logLines(), QStringList());
    QPushButton *getLog = fixture->button("pushButton_getLog");
    QVERIFY(getLog->isEnabled());
    QCOMPARE(getLog->text(), QString("请求"));
    QCOMPARE(savedPath(), path);
    // What was accepted is on disk: the file was flushed and closed.
    QCOMPARE(readFile(path), fixture->model->logContent().left(1024));

    // The next request writes into the chosen directory, not below the last file.
    request();
    QTRY_VERIFY_WITH_TIMEOUT(!fixture->button("pushButton_getLog")->isChecked(), 30000);
    QCOMPARE(savedPath(), path);
    QCOMPARE(readFile(path), fixture->model->logContent());
    QCOMPARE(fixture->logLines(), QStringList{COMPLETE});
}

void TestTransferLog::portVanishingClosesTheFile()
{
    ModuleConfig config;
    config.logSize = 5000;
    prepare(config);
    int acks = 0;
    connect(fixture->model.get(), &ModuleModel::requestTaken, this,
            [this, &acks](const QByteArray &unit) {
                if (unit == QByteArray(1, Transfer::ACK) && ++acks == 2) {
                    PortEnumeration::removeExtraPort(fixture->link->slavePath());
                    fixture->page->serialPortManager()->UpdatePort();
                }
            });
    request();
    QTRY_VERIFY_WITH_TIMEOUT(!fixture->button("pushButton_getLog")->isChecked(), 30000);
    QVERIFY(!fixture->page->serialPortManager()->isOpen());
    // Two blocks were acknowledged: both are on disk, nothing after them.
    QCOMPARE(readFile(directory + QStringLiteral("/sys.log")),
             fixture->model->logContent().left(2048));
}

QTEST_MAIN(TestTransferLog)
#include "tst_transfer_log.moc"
