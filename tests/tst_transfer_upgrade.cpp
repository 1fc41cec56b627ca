// The firmware upgrade on the device page against the module simulator over
// a pseudo-terminal: intact images under both digests, the module's faults
// at every step, the technician's cancel, the module's own CAN, the port
// vanishing, and the files the page refuses.
#include "serial/handleserialport.h"
#include "serial/portenumeration.h"
#include "simulator/simfaults.h"
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
const QString ABORTING = QStringLiteral("准备中断传输！");
const QString STOPPED = QStringLiteral("主节点已强制终止传输");
const QString DEVICE_FAILURE = QStringLiteral("反馈：设备故障！");

QByteArray image(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + 7) & 0xFF);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TestTransferUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void imageArrivesIntact_data();
    void imageArrivesIntact();
    void moduleFaults_data();
    void moduleFaults();
    void technicianCancelsDuringTheLoop();
    void portVanishesMidUpgrade();
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
    QVERIFY(dir->isValid());
    content = image(2500);
    const QString path = dir->filePath(QStringLiteral("fw.bin"));
    QVERIFY(writeFile(path, content));
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

void TestTransferUpgrade::imageArrivesIntact_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("digestLength");
    QTest::newRow("SHA-1 under version 124") << 124 << 40;
    QTest::newRow("SHA-256 under version 125") << 125 << 64;
}

void TestTransferUpgrade::imageArrivesIntact()
{
    QFETCH(int, version);
    QFETCH(int, digestLength);
    prepare(version);
    bool choiceLockedWhileRunning = false;
    connect(fixture->model.get(), &ModuleModel::requestTaken, this,
            [this, &choiceLockedWhileRunning](const QByteArray &unit) {
                if (unit.size() == Transfer::SMALL_BLOCK_LENGTH)
                    choiceLockedWhileRunning = !fixture->button("pushButton_scan")->isEnabled();
            });
    start();

    QCOMPARE(fixture->logLines(), QStringList({DONE, "升级成功！"}));
    QVERIFY(fixture->model->upgradeVerified());
    QCOMPARE(fixture->model->uploadedImage(), content);
    const LoadingAnnouncement announced = fixture->model->lastAnnouncement();
    QCOMPARE(announced.encodedName, QByteArray("fw.bin"));
    QCOMPARE(announced.size, quint32(2500));
    QCOMPARE(announced.digest.size(), digestLength);
    QVERIFY(choiceLockedWhileRunning);
    expectIdle();
    // The bar's text told the technician where the transfer stood.
    const QString barText = fixture->driver->widget<QProgressBar>("progressBar")->format();
    QVERIFY2(QRegularExpression(QStringLiteral("^100% · [0-9]+\\.[0-9] KB/s · 剩余 00:00$"))
                 .match(barText)
                 .hasMatch(),
             qPrintable(barText));
}

void TestTransferUpgrade::moduleFaults_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("stillRunning"); // "取消" still shown, button checked
    QTest::addColumn<int>("firstBlockSent");
    QTest::addColumn<bool>("verified");

    QTest::newRow("five NAKs, then ACK")
        << QStringList{"nak:5"} << QStringList{DONE, "升级成功！"} << false << 6 << true;
    QTest::newRow("sixth NAK aborts through the stop")
        << QStringList{"nak-block:0"} << QStringList{"已达到最大重发次数！", ABORTING, STOPPED}
        << false << 6 << false;
    QTest::newRow("block left unanswered")
        << QStringList{"block-mute:3"} << QStringList{"文件加载中反馈超时！", ABORTING, STOPPED}
        << false << 1 << false;
    QTest::newRow("error reply to a block")
        << QStringList{"block-reply:2:01c104"} << QStringList{DEVICE_FAILURE, STOPPED} << false << 1
        << false;
    QTest::newRow("unrelated reply to a block")
        << QStringList{"block-reply:2:0606"} << QStringList{"接收到无关数据！", STOPPED} << false
        << 1 << false;
    QTest::newRow("verdict NAK") << QStringList{"eot-reply:15"}
                                 << QStringList{DONE, "升级文件校验不通过！"} << false << 1
                                 << false;
    QTest::newRow("verdict error reply")
        << QStringList{"eot-reply:01c104"} << QStringList{DONE, DEVICE_FAILURE, STOPPED} << false
        << 1 << false;
    QTest::newRow("verdict timed out: still running")
        << QStringList{"eot-mute"} << QStringList{DONE, "升级校验反馈超时！"} << true << 1 << false;
    QTest::newRow("error reply to start loading")
        << QStringList{"error:0x04"} << QStringList{DEVICE_FAILURE} << false << 0 << false;
    QTest::newRow("start loading timed out")
        << QStringList{"drop-next"} << QStringList{"启动加载反馈超时！"} << false << 0 << false;
    QTest::newRow("two bytes to start loading")
        << QStringList{"raw:4343"} << QStringList{"启动加载失败！"} << false << 0 << false;
    QTest::newRow("unacknowledged stop leaves 取消")
        << QStringList{"nak-block:0", "can-mute:1"}
        << QStringList{"已达到最大重发次数！", ABORTING, "停止加载反馈超时！"} << true << 6
        << false;
}

void TestTransferUpgrade::moduleFaults()
{
    QFETCH(QStringList, faults);
    QFETCH(QStringList, lines);
    QFETCH(bool, stillRunning);
    QFETCH(int, firstBlockSent);
    QFETCH(bool, verified);
    prepare(125, faults);
    start();

    QCOMPARE(fixture->logLines(), lines);
    QCOMPARE(fixture->timesReceived(buildTransferBlock(0, content.left(1024))), firstBlockSent);
    QCOMPARE(fixture->model->upgradeVerified(), verified);
    QPushButton *startButton = fixture->button("pushButton_start");
    if (stillRunning) {
        QVERIFY(startButton->isChecked());
        QCOMPARE(startButton->text(), QString("取消"));
        QVERIFY(!fixture->button("pushButton_refresh")->isEnabled());
        return;
    }
    QVERIFY(!startButton->isChecked());
    QCOMPARE(startButton->text(), QString("开始"));
    if (firstBlockSent > 0)
        expectIdle();
}

void TestTransferUpgrade::technicianCancelsDuringTheLoop()
{
    // Block 2 stays unanswered, so the stop's ACK is the only byte to come.
    prepare(125, {"block-mute:2"});
    connect(fixture->model.get(), &ModuleModel::requestTaken, this, [this](const QByteArray &unit) {
        if (unit.size() > 1 && quint8(unit.at(1)) == 2)
            QTimer::singleShot(0, fixture->button("pushButton_start"), &QPushButton::click);
    });
    QElapsedTimer clock;
    clock.start();
    start();
    QVERIFY2(clock.elapsed() < 4000, "the cancel waited for the block's time limit");
    QCOMPARE(fixture->logLines(), QStringList{STOPPED});
    QCOMPARE(fixture->toolBytes().right(1), QByteArray(1, Transfer::CAN)); // nothing after it
    QVERIFY(fixture->model->uploadedImage().isEmpty());                    // the module dropped it
    QCOMPARE(fixture->model->mode(), ModuleModel::Mode::Command);
    QVERIFY(!fixture->button("pushButton_tell")->isEnabled());
    expectIdle();
}

void TestTransferUpgrade::portVanishesMidUpgrade()
{
    prepare(125);
    connect(fixture->model.get(), &ModuleModel::requestTaken, this, [this](const QByteArray &unit) {
        if (unit.size() > 1 && quint8(unit.at(1)) == 1) {
            PortEnumeration::removeExtraPort(fixture->link->slavePath());
            fixture->page->serialPortManager()->UpdatePort();
        }
    });
    QElapsedTimer clock;
    clock.start();
    start();
    QVERIFY2(clock.elapsed() < 4000, "the block loop hung on a closed port");
    QVERIFY(!fixture->page->serialPortManager()->isOpen());
    QVERIFY(!fixture->button("pushButton_start")->isChecked());
    QVERIFY(!fixture->button("pushButton_start")->isEnabled());
    QVERIFY(!fixture->model->upgradeVerified());
}

void TestTransferUpgrade::refusedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size"); // -1: the file does not exist
    QTest::addColumn<QString>("warning");
    QTest::newRow("file that cannot be opened") << "gone.bin" << qint64(-1) << "升级文件无法打开！";
    QTest::newRow("empty file") << "empty.bin" << qint64(0) << "升级文件为空！";
    QTest::newRow("31457281 bytes") << "big.bin" << qint64(31457281) << "升级包大小不得大于30MB！";
    QTest::newRow("31457280 bytes accepted") << "big.bin" << qint64(31457280) << QString();
    QTest::newRow("name over 64 bytes") << QString(62, QLatin1Char('f')) + QStringLiteral("固件")
                                        << qint64(10) << "升级文件名过长，不得超过64字节！";
}

void TestTransferUpgrade::refusedFiles()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QString, warning);
    prepare(125); // a good file was chosen first: its blocks must not survive the refusal
    const QString path = dir->filePath(name);
    if (size >= 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    }
    PageDriver::hideBoxes();
    fixture->answerFileDialogs(path, dir->path());
    fixture->button("pushButton_scan")->click();
    QCOMPARE(PageDriver::warningText(), warning);
    QCOMPARE(fixture->button("pushButton_start")->isEnabled(), warning.isEmpty());
    if (!warning.isEmpty()) {
        // Even a click that reaches the handler announces nothing.
        fixture->button("pushButton_start")->setEnabled(true);
        start();
        QVERIFY(!fixture->button("pushButton_start")->isChecked());
        QCOMPARE(fixture->model->lastAnnouncement().size, quint32(0));
        QCOMPARE(fixture->model->mode(), ModuleModel::Mode::Command);
    }
}

QTEST_MAIN(TestTransferUpgrade)
#include "tst_transfer_upgrade.moc"
