// The log upload on the device page against the module simulator over a
// pseudo-terminal: logs under both digests arrive byte for byte, the
// module's faults in the reply and in the stream, hostile announced names,
// the technician's cancel and a second request, and the port vanishing.
#include "protocol/frame.h"
#include "serial/handleserialport.h"
#include "serial/portenumeration.h"
#include "simulator/simfaults.h"
#include "support/testpty.h"
#include "support/transferfixture.h"
#include "transfer/transferframes.h"

#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QString COMPLETE = QStringLiteral("设备文件传输完成！");
const QString DIGEST_WRONG = QStringLiteral("文件哈希值校验错误！");
const QString BAD_FRAME = QStringLiteral("请求日志响应帧校验错误！");
const QByteArray ACK(1, Transfer::ACK);

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The fault that answers the log request with `reply`.
QString answeredWith(const QByteArray &reply)
{
    return QStringLiteral("raw:") + QString::fromLatin1(reply.toHex());
}

// A log reply announcing N = 68, its CRC intact.
QByteArray replyWithNBelow69()
{
    QByteArray reply = buildLogReply("sys.log", 10, QByteArray());
    reply.chop(2);
    reply[3] = char(68);
    appendCrc(reply);
    return reply;
}

// The last line of a complete upload; the test puts in the file's path.
QString saved(int bytes, bool digestMatches)
{
    return QStringLiteral("日志已保存到 %PATH%，共 %1 字节，%2")
        .arg(bytes)
        .arg(digestMatches ? QStringLiteral("校验通过") : QStringLiteral("校验未通过"));
}

// Not a fault of the module: the chosen directory is replaced by a file.
const QString DIRECTORY_GONE = QStringLiteral("directory-gone");

QString illegalName(const QString &name)
{
    return QStringLiteral("设备日志文件名非法：\"%1\"").arg(name);
}

} // namespace

class TestTransferLog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void logOutcomes_data();
    void logOutcomes();
    void cancelThenRequestAgain();
    void portVanishingClosesTheFile();

private:
    void prepare(ModuleConfig config, const QStringList &faults = QStringList());
    // Presses "请求" and waits until the upload has ended.
    void request()
    {
        QPushButton *getLog = fixture->button("pushButton_getLog");
        getLog->click();
        QTRY_VERIFY_WITH_TIMEOUT(!getLog->isChecked(), 15000);
    }
    QString savedPath() const
    {
        return fixture->driver->widget<QLineEdit>("lineEdit_savePath")->text();
    }
    QString logPath() const { return directory + QStringLiteral("/sys.log"); }

    std::unique_ptr<TransferFixture> fixture;
    std::unique_ptr<QTemporaryDir> parent;
    QString directory; // the chosen one, inside `parent`
    QTemporaryDir firmwareDir;
};

void TestTransferLog::cleanup()
{
    fixture.reset();
    parent.reset();
}

void TestTransferLog::prepare(ModuleConfig config, const QStringList &faults)
{
    parent = std::make_unique<QTemporaryDir>();
    directory = parent->filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkpath(directory));
    fixture = std::make_unique<TransferFixture>();
    QString problem;
    QVERIFY2(fixture->start(config, &problem), qPrintable(problem));
    QFile firmware(firmwareDir.filePath(QStringLiteral("fw.bin")));
    QVERIFY(firmware.open(QIODevice::WriteOnly) && firmware.write("firmware") == 8);
    firmware.close();
    fixture->answerFileDialogs(firmware.fileName(), directory);
    fixture->button("pushButton_directory")->click();
    fixture->button("pushButton_scan")->click();
    QVERIFY(fixture->button("pushButton_getLog")->isEnabled());
    for (const QString &spec : faults)
        QVERIFY2(applyFault(spec, fixture->model.get(), fixture->link.get(), &problem),
                 qPrintable(problem));
}

void TestTransferLog::logOutcomes_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("fileSize"); // bytes of the log on disk; -1: no file created
    const auto row = [](const char *title, int version, int size, const QString &name,
                        const QStringList &faults, const QStringList &lines, int fileSize) {
        QTest::newRow(title) << version << size << name << faults << lines << fileSize;
    };
    const QString log = QStringLiteral("sys.log");
    row("SHA-256 log, two kilobytes and a tail", 125, 2500, log, {}, {COMPLETE, saved(2500, true)},
        2500);
    row("SHA-1 log", 124, 1100, log, {}, {COMPLETE, saved(1100, true)}, 1100);
    row("300 bytes: the last block is cut", 125, 300, log, {}, {COMPLETE, saved(300, true)}, 300);
    row("name with leading blanks", 125, 200, "  sys.log", {}, {COMPLETE, saved(200, true)}, 200);
    row("directory not writable: nothing sent", 125, 300, log, {DIRECTORY_GONE}, {}, -1);
    row("request timed out", 125, 300, log, {"drop-next"}, {"请求日志反馈超时！"}, -1);
    row("error reply to the request", 125, 300, log, {"error:0x04"}, {"反馈：设备故障！"}, -1);
    row("69-byte reply", 125, 300, log,
        {answeredWith(buildLogReply("sys.log", 10, QByteArray(40, 'a')).left(69))},
        {"接收到无关数据！"}, -1);
    row("reply failing its CRC", 125, 300, log, {"corrupt-crc:1"}, {BAD_FRAME}, -1);
    row("N below 69", 125, 300, log, {answeredWith(replyWithNBelow69())}, {BAD_FRAME}, -1);
    row("upper-case digest", 125, 2500, log, {"log-digest-upper"},
        {COMPLETE, DIGEST_WRONG, saved(2500, false)}, 2500);
    row("block split across two passes is asked for again", 125, 2500, log, {"log-split:1:450"},
        {COMPLETE, saved(2500, true)}, 2500);
    row("EOT in the middle: digest of the partial file", 125, 2500, log, {"eot-after:0"},
        {COMPLETE, DIGEST_WRONG, saved(1024, false)}, 1024);
    row("CAN in the middle: partial file kept", 125, 2500, log, {"can-after:0"},
        {"设备中断文件传输！"}, 1024);
    for (const char *hostile : {"../escape.log", "..", "", "sub/inner.log", "..\\escape.log"})
        row(qPrintable(QStringLiteral("hostile name \"%1\"").arg(hostile)), 125, 300, hostile, {},
            {illegalName(hostile)}, -1);
}

void TestTransferLog::logOutcomes()
{
    QFETCH(int, version);
    QFETCH(int, size);
    QFETCH(QString, name);
    QFETCH(QStringList, faults);
    QFETCH(QStringList, lines);
    QFETCH(int, fileSize);
    ModuleConfig config;
    config.softwareVersion = version;
    config.logSize = size;
    config.logFileName = name;
    const bool directoryGone = faults.removeAll(DIRECTORY_GONE) > 0;
    prepare(config, faults);
    if (directoryGone) {
        QVERIFY(QDir(directory).removeRecursively());
        QFile file(directory);
        QVERIFY(file.open(QIODevice::WriteOnly)); // a file where the directory was
    }
    // Sampled at the first block's ACK, while the upload runs.
    int directoryLocked = -1;
    connect(fixture->model.get(), &ModuleModel::requestTaken, this, [&](const QByteArray &unit) {
        if (directoryLocked < 0 && unit == ACK)
            directoryLocked = fixture->button("pushButton_directory")->isEnabled() ? 0 : 1;
    });
    request();

    lines.replaceInStrings(QStringLiteral("%PATH%"), logPath());
    QCOMPARE(fixture->logLines(), lines);
    if (directoryGone) {
        QCOMPARE(PageDriver::warningText(),
                 QString("无法在目录“%1”中创建文件，请选择其他目录！").arg(directory));
        QCOMPARE(fixture->timesReceived(buildLogRequest()), 0);
    }
    QCOMPARE(fixture->button("pushButton_getLog")->text(), QString("请求"));
    QVERIFY(!fixture->button("pushButton_getLog")->isChecked());
    QVERIFY(fixture->button("pushButton_start")->isEnabled()); // the firmware file stays chosen
    // Nothing is ever created beside the chosen directory or below it.
    QCOMPARE(QDir(parent->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"logs"});
    const QStringList created = QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(created, fileSize < 0 ? QStringList() : QStringList{"sys.log"});
    if (fileSize < 0)
        return;
    QCOMPARE(savedPath(), directory); // the saved-file line names the file
    QCOMPARE(readFile(logPath()), fixture->model->logContent().left(fileSize));
    QCOMPARE(directoryLocked, 1);
    QVERIFY(fixture->button("pushButton_directory")->isEnabled());
    // A finished upload hides its bar, left full when complete.
    auto *bar = fixture->driver->widget<QProgressBar>("progressBar_2");
    QVERIFY(!fixture->driver->isShown("progressBar_2"));
    if (lines.first() == COMPLETE)
        QVERIFY2(bar->value() == bar->maximum() && bar->text().startsWith("100%"),
                 qPrintable(bar->text()));
}

void TestTransferLog::cancelThenRequestAgain()
{
    ModuleConfig config;
    config.logSize = 2500;
    prepare(config);
    // After block 0 the module holds block 1 back and the technician presses
    // "取消": the cancel's ACK is then the only byte on its way.
    bool cancelled = false;
    connect(fixture->model.get(), &ModuleModel::requestTaken, this, [&](const QByteArray &unit) {
        if (cancelled || unit != ACK)
            return;
        cancelled = true;
        fixture->model->dropNextReply();
        QTimer::singleShot(0, fixture->button("pushButton_getLog"), &QPushButton::click);
    });
    request();
    QCOMPARE(fixture->logLines(), QStringList());
    QPushButton *getLog = fixture->button("pushButton_getLog");
    QVERIFY(getLog->isEnabled() && !getLog->isChecked());
    QCOMPARE(getLog->text(), QString("请求"));
    QCOMPARE(savedPath(), directory);
    // What was accepted is on disk: the file was flushed and closed.
    QCOMPARE(readFile(logPath()), fixture->model->logContent().left(1024));

    // A cancelled choice and a page switch keep both choices.
    fixture->answerFileDialogs(QString(), QString());
    for (const char *choice : {"pushButton_scan", "pushButton_directory"})
        fixture->button(choice)->click();
    fixture->driver->refresh();
    QCOMPARE(fixture->driver->widget<QLineEdit>("lineEdit_filePath")->text(),
             firmwareDir.filePath("fw.bin"));
    // The next request writes into the chosen directory, not below the last file.
    request();
    QCOMPARE(savedPath(), directory);
    QCOMPARE(readFile(logPath()), fixture->model->logContent());
    const int size = fixture->model->logContent().size();
    QCOMPARE(fixture->logLines(),
             QStringList({COMPLETE, saved(size, true).replace("%PATH%", logPath())}));
}

void TestTransferLog::portVanishingClosesTheFile()
{
    ModuleConfig config;
    config.logSize = 5000;
    prepare(config);
    int acks = 0;
    connect(fixture->model.get(), &ModuleModel::requestTaken, this, [&](const QByteArray &unit) {
        if (unit == ACK && ++acks == 2) {
            PortEnumeration::removeExtraPort(fixture->link->slavePath());
            fixture->page->serialPortManager()->UpdatePort();
        }
    });
    request();
    QVERIFY(!fixture->page->portIsOpen());
    // Two blocks were acknowledged: both are on disk, nothing after them.
    QTRY_COMPARE(readFile(logPath()), fixture->model->logContent().left(2048));
    QTRY_COMPARE(TestPty::openCount(fixture->link->slavePath()), 1); // the simulator's own
}

QTEST_MAIN(TestTransferLog)
#include "tst_transfer_log.moc"
