// The firmware upgrade on the device page against the module simulator over
// a pseudo-terminal: intact images under both digests, the module's faults
// at every step, the technician's cancel and the port vanishing mid-loop,
// and the files the page refuses.
#include "serial/handleserialport.h"
#include "serial/portenumeration.h"
#include "simulator/simfaults.h"
#include "support/testpty.h"
#include "support/transferfixture.h"
#include "transfer/transferframes.h"

#include <QElapsedTimer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace
{

const QString DONE = QStringLiteral("升级文件传输完毕，等待校验......");
const QString SUCCESS = QStringLiteral("升级成功！");
const QString ABORTING = QStringLiteral("准备中断传输！");
const QString STOPPED = QStringLiteral("主节点已强制终止传输");
const QString DEVICE_FAILURE = QStringLiteral("反馈：设备故障！");

} // namespace

class TestTransferUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void upgradeOutcomes_data();
    void upgradeOutcomes();
    void interruptedMidLoop_data();
    void interruptedMidLoop();
    void refusedFiles_data();
    void refusedFiles();

private:
    // Logs in to a module of `version`, chooses a 2500-byte fw.bin and
    // applies the fault specifications.
    void prepare(int version, const QStringList &faults = QStringList());
    void start() { fixture->button("pushButton_start")->click(); }
    void expectIdle();

    std::unique_ptr<TransferFixture> fixture;
    std::unique_ptr<QTemporaryDir> dir;
    QByteArray content;
};

void TestTransferUpgrade::initTestCase()
{
    // File names are measured in the local encoding: make it UTF-8.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
}

void TestTransferUpgrade::cleanup()
{
    fixture.reset();
    dir.reset();
}

void TestTransferUpgrade::prepare(int version, const QStringList &faults)
{
    dir = std::make_unique<QTemporaryDir>();
    content.resize(2500);
    for (int i = 0; i < content.size(); ++i)
        content[i] = char((i * 31 + 7) & 0xFF);
    const QString path = dir->filePath(QStringLiteral("fw.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    ModuleConfig config;
    config.softwareVersion = version;
    fixture = std::make_unique<TransferFixture>();
    QString problem;
    QVERIFY2(fixture->start(config, &problem), qPrintable(problem));
    fixture->answerFileDialogs(path, dir->path());
    fixture->button("pushButton_scan")->click();
    QVERIFY(fixture->button("pushButton_start")->isEnabled());
    for (const QString &spec : faults)
        QVERIFY2(applyFault(spec, fixture->model.get(), fixture->link.get(), &problem),
                 qPrintable(problem));
}

void TestTransferUpgrade::expectIdle()
{
    QPushButton *startButton = fixture->button("pushButton_start");
    QVERIFY(!startButton->isChecked());
    QCOMPARE(startButton->text(), QString("开始"));
    QVERIFY(!fixture->driver->isShown("progressBar"));
    for (const char *name : {"pushButton_refresh", "pushButton_scan", "pushButton_directory"})
        QVERIFY2(fixture->button(name)->isEnabled(), name);
}

void TestTransferUpgrade::upgradeOutcomes_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("firstBlockSent");
    QTest::addColumn<bool>("stillRunning");   // "取消" still shown, button checked
    QTest::addColumn<QByteArray>("laterEnd"); // the module's end signal after the lines
    const auto row = [](const char *name, int version, const QStringList &faults,
                        const QStringList &lines, int firstBlockSent, bool stillRunning = false,
                        const QByteArray &laterEnd = QByteArray()) {
        QTest::newRow(name) << version << faults << lines << firstBlockSent << stillRunning
                            << laterEnd;
    };
    row("SHA-1 image under version 124", 124, {}, {DONE, SUCCESS}, 1);
    row("SHA-256 image under version 125", 125, {}, {DONE, SUCCESS}, 1);
    row("five NAKs, then ACK", 125, {"nak:5"}, {DONE, SUCCESS}, 6);
    row("sixth NAK aborts through the stop", 125, {"nak-block:0"},
        {"已达到最大重发次数！", ABORTING, STOPPED}, 6);
    row("block left unanswered", 125, {"block-mute:3"}, {"文件加载中反馈超时！", ABORTING, STOPPED},
        1);
    row("error reply to a block", 125, {"block-reply:2:01c104"}, {DEVICE_FAILURE, STOPPED}, 1);
    row("unrelated reply to a block", 125, {"block-reply:2:0606"}, {"接收到无关数据！", STOPPED},
        1);
    row("lone CAN from the module", 125, {"can-after:2"}, {"设备中断文件传输！"}, 1);
    row("verdict NAK", 125, {"eot-reply:15"}, {DONE, "升级文件校验不通过！"}, 1);
    row("verdict error reply", 125, {"eot-reply:01c104"}, {DONE, DEVICE_FAILURE, STOPPED}, 1);
    row("verdict timed out: still running", 125, {"eot-mute"}, {DONE, "升级校验反馈超时！"}, 1,
        true);
    row("error reply to start loading", 125, {"error:0x04"}, {DEVICE_FAILURE}, 0);
    row("start loading timed out", 125, {"drop-next"}, {"启动加载反馈超时！"}, 0);
    row("two bytes to start loading", 125, {"raw:4343"}, {"启动加载失败！"}, 0);
    row("unacknowledged stop leaves 取消", 125, {"nak-block:0", "can-mute:1"},
        {"已达到最大重发次数！", ABORTING, "停止加载反馈超时！"}, 6, true);
    row("verdict timed out, then the module's EOT", 125, {"eot-mute"},
        {DONE, "升级校验反馈超时！", "设备文件传输完成！"}, 1, false, QByteArray(1, Transfer::EOT));
    row("unacknowledged stop, then the module's CAN", 125, {"nak-block:0", "can-mute:1"},
        {"已达到最大重发次数！", ABORTING, "停止加载反馈超时！", "设备中断文件传输！"}, 6, false,
        QByteArray(1, Transfer::CAN));
}

void TestTransferUpgrade::upgradeOutcomes()
{
    QFETCH(int, version);
    QFETCH(QStringList, faults);
    QFETCH(QStringList, lines);
    QFETCH(int, firstBlockSent);
    QFETCH(bool, stillRunning);
    QFETCH(QByteArray, laterEnd);
    prepare(version, faults);
    start();

    if (!laterEnd.isEmpty()) { // sent once the page shows the line before
        QTRY_COMPARE_WITH_TIMEOUT(fixture->logLines(), lines.mid(0, lines.size() - 1), 30000);
        fixture->clearToolBytes();
        emit fixture->model->output(laterEnd);
        QTRY_COMPARE_WITH_TIMEOUT(fixture->toolBytes(), QByteArray(1, Transfer::ACK), 5000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(fixture->logLines(), lines, 30000); // the verdict waits 20 s
    QCOMPARE(fixture->timesReceived(buildTransferBlock(0, content.left(1024))), firstBlockSent);
    const bool succeeded = lines.endsWith(SUCCESS);
    QCOMPARE(fixture->model->upgradeVerified(), succeeded);
    QPushButton *startButton = fixture->button("pushButton_start");
    QCOMPARE(startButton->isChecked(), stillRunning);
    QCOMPARE(startButton->text(), QString(stillRunning ? "取消" : "开始"));
    if (lines.contains(DONE) && !stillRunning)
        expectIdle();
    if (lines.endsWith(STOPPED))
        QCOMPARE(fixture->toolBytes().right(1), QByteArray(1, Transfer::CAN));
    if (lines.endsWith("设备中断文件传输！") &&
        laterEnd.isEmpty()) // the module's CAN is acknowledged
        QTRY_COMPARE_WITH_TIMEOUT(fixture->toolBytes().right(1), QByteArray(1, Transfer::ACK),
                                  5000);
    if (!succeeded)
        return;
    QCOMPARE(fixture->model->uploadedImage(), content);
    const LoadingAnnouncement announced = fixture->model->lastAnnouncement();
    QCOMPARE(announced.encodedName, QByteArray("fw.bin"));
    QCOMPARE(announced.digest.size(), version > 124 ? 64 : 40);
    const QString barText = fixture->driver->widget<QProgressBar>("progressBar")->format();
    QVERIFY2(QRegularExpression(QStringLiteral("^100% · [0-9]+\\.[0-9] KB/s · 剩余 00:00$"))
                 .match(barText)
                 .hasMatch(),
             qPrintable(barText));
}

// Something happens while block 2 waits for its (withheld) answer.
void TestTransferUpgrade::interruptedMidLoop_data()
{
    QTest::addColumn<bool>("portVanishes"); // otherwise the technician presses "取消"
    QTest::newRow("technician cancels") << false;
    QTest::newRow("port vanishes") << true;
}

void TestTransferUpgrade::interruptedMidLoop()
{
    QFETCH(bool, portVanishes);
    prepare(125, {"block-mute:2"});
    bool choiceLocked = false;
    connect(fixture->model.get(), &ModuleModel::requestTaken, this,
            [&, portVanishes](const QByteArray &unit) {
                if (unit.size() <= 1 || quint8(unit.at(1)) != 2)
                    return;
                choiceLocked = !fixture->button("pushButton_scan")->isEnabled();
                if (portVanishes) {
                    PortEnumeration::removeExtraPort(fixture->link->slavePath());
                    fixture->page->serialPortManager()->UpdatePort();
                } else {
                    QTimer::singleShot(0, fixture->button("pushButton_start"), &QPushButton::click);
                }
            });
    QElapsedTimer clock;
    clock.start();
    start();
    // The step ends at its next wait: the port closes, or the stop goes out,
    // long before the block's time limit.
    if (portVanishes) // the simulator keeps a descriptor of its own
        QTRY_COMPARE_WITH_TIMEOUT(TestPty::openCount(fixture->link->slavePath()), 1, 4000);
    else
        QTRY_COMPARE_WITH_TIMEOUT(fixture->logLines(), QStringList{STOPPED}, 4000);
    QVERIFY2(clock.elapsed() < 4000, "the loop waited out the block's time limit");
    QVERIFY(choiceLocked);
    QVERIFY(!fixture->button("pushButton_start")->isChecked());
    QVERIFY(!fixture->button("pushButton_tell")->isEnabled());
    if (portVanishes) {
        QVERIFY(!fixture->page->portIsOpen());
        QVERIFY(!fixture->button("pushButton_start")->isEnabled());
        return;
    }
    QCOMPARE(fixture->toolBytes().right(1), QByteArray(1, Transfer::CAN)); // nothing after it
    QVERIFY(fixture->model->uploadedImage().isEmpty());                    // the module dropped it
    expectIdle();
}

void TestTransferUpgrade::refusedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size"); // -1: the file does not exist
    QTest::addColumn<QString>("warning");
    const QString f60(60, QLatin1Char('f'));
    QTest::newRow("file that cannot be opened") << "gone.bin" << qint64(-1) << "升级文件无法打开！";
    QTest::newRow("empty file") << "empty.bin" << qint64(0) << "升级文件为空！";
    QTest::newRow("31457281 bytes") << "big.bin" << qint64(31457281) << "升级包大小不得大于30MB！";
    QTest::newRow("31457280 bytes accepted") << "big.bin" << qint64(31457280) << QString();
    QTest::newRow("name of 64 bytes accepted") << f60 + ".bin" << qint64(10) << QString();
    // Cut at 64 bytes, the name would end inside the three bytes of "固".
    QTest::newRow("name over 64 bytes")
        << f60 + "固.bin" << qint64(10) << "升级文件名过长，不得超过64字节！";
}

void TestTransferUpgrade::refusedFiles()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QString, warning);
    prepare(125); // a good file was chosen first: its blocks must not survive the refusal
    const QString path = dir->filePath(name);
    QFile file(path);
    QVERIFY(size < 0 || (file.open(QIODevice::WriteOnly) && file.resize(size))); // sparse
    PageDriver::hideBoxes();
    fixture->answerFileDialogs(path, dir->path());
    fixture->button("pushButton_scan")->click();
    QCOMPARE(PageDriver::warningText(), warning);
    QCOMPARE(fixture->button("pushButton_start")->isEnabled(), warning.isEmpty());
    if (warning.isEmpty())
        return;
    // Even a click that reaches the handler announces nothing.
    fixture->button("pushButton_start")->setEnabled(true);
    start();
    QVERIFY(!fixture->button("pushButton_start")->isChecked());
    QCOMPARE(fixture->model->lastAnnouncement().size, quint32(0));
}

QTEST_MAIN(TestTransferUpgrade)
#include "tst_transfer_upgrade.moc"
