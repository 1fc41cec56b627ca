// The session engine against the module model over a scripted link, the line
// paced at 230400 baud on a virtual clock: no port, no widget, no sleep.
#include "session/blockingseriallink.h"
#include "session/modulesession.h"
#include "simulator/modulemodel.h"
#include "support/scriptedlink.h"
#include "support/testpty.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <future>
#include <sys/resource.h>
#include <thread>

namespace
{

const QString PASSWORD = QStringLiteral("Secret_789x");

// Milliseconds the line needs for `bytes` at 230400 baud, 10 bits a byte,
// rounded up.
int lineMs(qint64 bytes)
{
    return int((bytes * 10000 + 230399) / 230400);
}

// What the tests count as the engine reports it.
struct Counter : SessionObserver {
    int repeats = 0, maxResend = 0, emptyPasses = 0, refused = 0;
    void readRepeated(SessionRequest, int) override { ++repeats; }
    void blockSent(int, int, int resend, qint64) override { maxResend = qMax(maxResend, resend); }
    void logPassEmpty() override { ++emptyPasses; }
    void logBlockRefused(int) override { ++refused; }
};

// The module model at the far end. `outputFault(n, bytes)` may change the
// model's n-th answer (counted from 0) into the pieces the tool receives.
struct Bench {
    explicit Bench(const ModuleConfig &config) : model(config), session(&link, &seen, &cancel)
    {
        model.setClock([this] { return link.nowMs; });
        QObject::connect(&model, &ModuleModel::output,
                         [this](const QByteArray &bytes) { answer.append(bytes); });
        link.cancelFlag = &cancel;
        link.respond = [this](const QByteArray &written) {
            answer.clear();
            feed(written);
            ScriptedLink::Reply reply;
            for (const QByteArray &bytes : answer) {
                int at = lineMs(written.size() + bytes.size());
                if (inOrder) // the line delivers in order: no answer overtakes a block
                    at = int(qMax<qint64>(at, lastAnswerMs - link.nowMs + 1));
                lastAnswerMs = link.nowMs + at;
                reply += outputFault ? outputFault(answers, at, bytes)
                                     : ScriptedLink::Reply{{at, bytes}};
                ++answers;
            }
            if (cancelAtWrite == link.writes.size()) {
                reply.append({cancelAfterMs, QByteArray()});
                cancelSetMs = link.nowMs + cancelAfterMs;
            }
            if (loseAtWrite == link.writes.size())
                reply = {{1, QByteArray(), true}}; // the line goes before the answer
            return reply;
        };
    }
    // The first upgrade block reaches the model as `splitAt` bytes, then,
    // `splitGapMs` later, the rest; or with the next write, when the model
    // took that gap for the end of the block.
    void feed(const QByteArray &written)
    {
        QByteArray bytes = std::exchange(late, QByteArray()) + written;
        if (splitAt > 0 && written.size() == Transfer::LARGE_BLOCK_LENGTH) {
            model.feed(bytes.left(splitAt));
            link.nowMs += std::exchange(splitGapMs, 0);
            bytes.remove(0, std::exchange(splitAt, 0));
            if (link.nowMs >= model.silenceDueMs()) {
                model.silenceElapsed();
                late.swap(bytes);
                return;
            }
        }
        model.feed(bytes);
    }
    int count(char signal) const { return link.writes.count(QByteArray(1, signal)); }

    ModuleModel model;
    ScriptedLink link;
    CancelFlag cancel;
    Counter seen;
    ModuleSession session;
    QList<QByteArray> answer;
    int answers = 0;
    int cancelAtWrite = -1;
    int cancelAfterMs = 0;
    qint64 cancelSetMs = 0;
    bool inOrder = false;
    qint64 lastAnswerMs = 0;
    int loseAtWrite = -1;
    int splitAt = 0, splitGapMs = 0;
    QByteArray late;
    std::function<ScriptedLink::Reply(int, int, const QByteArray &)> outputFault;
};

ModuleConfig moduleConfig(int version)
{
    ModuleConfig config;
    config.softwareVersion = version;
    config.loginPassword = PASSWORD;
    return config;
}

// Milliseconds of CPU time the calling thread has used.
qint64 threadCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// "error:18", "corrupt:4", "drop", "raw:<hex>", "nak:6", "block:<i>:<hex>",
// "eot:<hex>" (an empty hex: no answer), "upper".
void applyFault(ModuleModel &model, const QString &fault)
{
    const QStringList part = fault.split(QLatin1Char(':'));
    const QByteArray hex = QByteArray::fromHex(part.value(part.size() - 1).toLatin1());
    if (part[0] == QLatin1String("error"))
        model.answerNextWithError(quint8(part[1].toInt()));
    else if (part[0] == QLatin1String("corrupt"))
        model.corruptNextReplies(part[1].toInt());
    else if (part[0] == QLatin1String("drop"))
        model.dropNextReply();
    else if (part[0] == QLatin1String("raw"))
        model.answerNextWithRaw(hex);
    else if (part[0] == QLatin1String("nak"))
        model.nakNextBlocks(part[1].toInt());
    else if (part[0] == QLatin1String("block"))
        model.answerBlockWith(part[1].toInt(), hex);
    else if (part[0] == QLatin1String("eot"))
        model.answerEotWith(hex);
    else if (part[0] == QLatin1String("upper"))
        model.announceLogDigestUpperCase(true);
}

} // namespace

Q_DECLARE_METATYPE(ScriptedLink::Reply)

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void login_data();
    void login();
    void reads_data();
    void reads();
    void upgrade_data();
    void upgrade();
    void logPull_data();
    void logPull();
    void cancelEndsTheStep_data();
    void cancelEndsTheStep();
    void endSignalOfATransferLeftRunning_data();
    void endSignalOfATransferLeftRunning();
    void lostLineEndsTheStep_data();
    void lostLineEndsTheStep();
    void lostPortEndsTheWaitAtOnce();
};

void TestSession::login_data()
{
    QTest::addColumn<int>("moduleVersion");
    QTest::addColumn<QString>("knownVersion");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("change");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("writes");

    const int done = int(StepOutcome::Done), error = int(StepOutcome::ErrorReply);
    QTest::newRow("derived accepted") << 125 << "" << PASSWORD << "" << false << done << 0 << 1;
    QTest::newRow("falls back to AES") << 124 << "" << PASSWORD << "" << false << done << 0 << 2;
    QTest::newRow("AES by version") << 124 << "124" << PASSWORD << "" << false << done << 0 << 1;
    QTest::newRow("wrong both ways") << 125 << ""
                                     << "Wrong_1234"
                                     << "" << false << error << 0x12 << 2;
    QTest::newRow("0x16 no fallback")
        << 125 << "" << PASSWORD << "error:22" << false << error << 0x16 << 1;
    QTest::newRow("timed out") << 125 << "" << PASSWORD << "drop" << false
                               << int(StepOutcome::TimedOut) << 0 << 1;
    QTest::newRow("checksum") << 125 << "" << PASSWORD << "corrupt:1" << false
                              << int(StepOutcome::ChecksumFailure) << 0 << 1;
    QTest::newRow("change falls back") << 124 << "" << PASSWORD << "" << true << done << 0 << 2;
}

void TestSession::login()
{
    QFETCH(int, moduleVersion);
    QFETCH(QString, knownVersion);
    QFETCH(QString, password);
    QFETCH(QString, fault);
    QFETCH(bool, change);
    QFETCH(int, outcome);
    QFETCH(int, code);
    QFETCH(int, writes);

    Bench bench(moduleConfig(moduleVersion));
    bench.session.setSoftwareVersion(knownVersion);
    if (change) {
        QVERIFY(bench.session.login(QStringLiteral("admin"), password).ok());
        bench.link.writes.clear();
    }
    applyFault(bench.model, fault);
    const CredentialResult result =
        change ? bench.session.changeCredentials(QStringLiteral("admin"),
                                                 QStringLiteral("New_pass_12"))
               : bench.session.login(QStringLiteral("admin"), password);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(int(result.errorCode), code);
    QCOMPARE(bench.link.writes.size(), writes);
    QCOMPARE(result.fellBack, writes == 2);
    if (!change && result.ok())
        QVERIFY(bench.model.sessionOpen());
}

void TestSession::reads_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("read"); // SessionRequest; Logout stands for the whole refresh
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("writes");
    QTest::addColumn<int>("repeats");

    QByteArray shortReply = QByteArray::fromHex("0103020001");
    appendCrc(shortReply);
    const int done = int(StepOutcome::Done), sum = int(StepOutcome::ChecksumFailure);
    const int versions = int(SessionRequest::ReadVersions), all = int(SessionRequest::Logout);
    QTest::newRow("versions") << "" << versions << done << 1 << 0;
    QTest::newRow("one repeat") << "corrupt:1" << versions << done << 2 << 1;
    QTest::newRow("repeats used up") << "corrupt:4" << versions << sum << 4 << 3;
    QTest::newRow("short with good CRC")
        << "raw:" + QString::fromLatin1(shortReply.toHex()) << versions << done << 2 << 1;
    QTest::newRow("wifi timed out")
        << "drop" << int(SessionRequest::ReadWifi) << int(StepOutcome::TimedOut) << 1 << 0;
    QTest::newRow("fe error reply")
        << "error:2" << int(SessionRequest::ReadFe) << int(StepOutcome::ErrorReply) << 1 << 0;
    QTest::newRow("refresh") << "" << all << done << 4 << 0;
    QTest::newRow("refresh ends at first") << "drop" << all << int(StepOutcome::TimedOut) << 1 << 0;
    // Writes: the row's fault column holds the value written.
    const int ssid = int(SessionRequest::WriteSsid), mac = int(SessionRequest::WriteFeMac);
    QTest::newRow("ssid written") << "Line-7" << ssid << done << 1 << 0;
    QTest::newRow("ssid of 65 bytes")
        << QString(65, 'x') << ssid << int(StepOutcome::Refused) << 0 << 0;
    QTest::newRow("fe mac written") << "00:1A:2B:3C:4D:5E" << mac << done << 1 << 0;
    QTest::newRow("fe mac of 5 bytes")
        << "00:1A:2B:3C:4D" << mac << int(StepOutcome::Refused) << 0 << 0;
}

void TestSession::reads()
{
    QFETCH(QString, fault);
    QFETCH(int, read);
    QFETCH(int, outcome);
    QFETCH(int, writes);
    QFETCH(int, repeats);

    Bench bench(moduleConfig(125));
    QVERIFY(bench.session.login(QStringLiteral("admin"), PASSWORD).ok());
    bench.link.writes.clear();
    const bool isWrite =
        read == int(SessionRequest::WriteSsid) || read == int(SessionRequest::WriteFeMac);
    if (!isWrite)
        applyFault(bench.model, fault);
    DeviceInfo info;
    StepResult result;
    if (read == int(SessionRequest::WriteSsid)) {
        result = bench.session.writeSsid(fault);
        QCOMPARE(bench.model.ssid() == fault, result.ok());
    } else if (read == int(SessionRequest::WriteFeMac)) {
        result = bench.session.writeFeMac(fault);
        QCOMPARE(bench.model.feMac().toHex(':').toUpper() == fault.toLatin1(), result.ok());
    } else if (read == int(SessionRequest::ReadVersions)) {
        result = bench.session.readVersions(&info.version);
    } else if (read == int(SessionRequest::ReadWifi)) {
        result = bench.session.readWifi(&info.wifi);
    } else if (read == int(SessionRequest::ReadFe)) {
        result = bench.session.readFe(&info.fe);
    } else {
        const RefreshResult refresh = bench.session.refresh(&info);
        QCOMPARE(refresh.blocksRead, refresh.ok() ? 4 : 0);
        if (refresh.ok())
            QCOMPARE(info.wifi.ssid, bench.model.ssid().left(16));
        result = refresh;
    }
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(bench.link.writes.size(), writes);
    QCOMPARE(bench.seen.repeats, repeats);
    if (result.ok() && read == int(SessionRequest::ReadVersions))
        QCOMPARE(bench.session.softwareVersion(), QStringLiteral("125"));
}

void TestSession::upgrade_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("cancelAtWrite");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("stop"); // -1: no stop exchange
    QTest::addColumn<int>("maxResend");

    const int ok = int(UpgradeOutcome::Upgraded), stopped = int(StopOutcome::Stopped);
    QTest::newRow("upgraded") << "" << -1 << ok << -1 << 0;
    QTest::newRow("five resends") << "nak:5" << -1 << ok << -1 << 5;
    QTest::newRow("sixth NAK") << "nak:6" << -1 << int(UpgradeOutcome::TooManyResends) << stopped
                               << 5;
    QTest::newRow("lone CAN") << "block:2:18" << -1 << int(UpgradeOutcome::EndedByModule) << -1
                              << 0;
    QTest::newRow("block unanswered")
        << "block:1:" << -1 << int(UpgradeOutcome::BlockTimedOut) << stopped << 0;
    QTest::newRow("block error reply")
        << "block:1:019004" << -1 << int(UpgradeOutcome::ErrorReply) << stopped << 0;
    QTest::newRow("verdict NAK") << "eot:15" << -1 << int(UpgradeOutcome::Rejected) << -1 << 0;
    QTest::newRow("no verdict") << "eot:" << -1 << int(UpgradeOutcome::VerdictTimedOut) << -1 << 0;
    QTest::newRow("start refused")
        << "raw:4343" << -1 << int(UpgradeOutcome::StartRefused) << -1 << 0;
    QTest::newRow("cancelled") << "" << 3 << int(UpgradeOutcome::Cancelled) << stopped << 0;
    // A 1029-byte block seen as 736 bytes, then the rest: 293 bytes.
    QTest::newRow("block in pieces 60 ms apart") << "split:736:60" << -1 << ok << -1 << 0;
    QTest::newRow("rest after the NAK, with the resend") << "split:736:1500" << -1 << ok << -1 << 1;
}

void TestSession::upgrade()
{
    QFETCH(QString, fault);
    QFETCH(int, cancelAtWrite);
    QFETCH(int, outcome);
    QFETCH(int, stop);
    QFETCH(int, maxResend);

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("fw.bin")));
    QByteArray image(2500, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();

    Bench bench(moduleConfig(125));
    QVERIFY(bench.session.login(QStringLiteral("admin"), PASSWORD).ok());
    bench.session.setSoftwareVersion(QStringLiteral("125")); // SHA-256
    bench.link.writes.clear();
    applyFault(bench.model, fault);
    if (fault.startsWith(QLatin1String("split:"))) { // "split:<bytes>:<gap ms>", see Bench::feed
        bench.splitAt = fault.section(':', 1, 1).toInt();
        bench.splitGapMs = fault.section(':', 2, 2).toInt();
    }
    bench.cancelAtWrite = cancelAtWrite;
    StopResult stopResult;
    stopResult.outcome = StopOutcome(-1);
    const UpgradeResult result = bench.session.upgrade(file.fileName(), &stopResult);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(int(stopResult.outcome), stop);
    QCOMPARE(bench.seen.maxResend, maxResend);
    QCOMPARE(bench.model.uploadedImage() == image, outcome == int(UpgradeOutcome::Upgraded));
    if (result.outcome == UpgradeOutcome::EndedByModule)
        QCOMPARE(bench.link.writes.last(), QByteArray(1, Transfer::ACK));
}

void TestSession::logPull_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("fault");     // model fault, see applyFault
    QTest::addColumn<QString>("lineFault"); // "<answer>:split:<gap>", ":drop", ":cut", ":can"
    QTest::addColumn<int>("maxFailures");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("naks");
    QTest::addColumn<int>("emptyPasses");

    const int complete = int(LogPullOutcome::Complete), any = Session::UNLIMITED;
    QTest::newRow("256 KiB") << 262144 << ""
                             << "" << any << complete << 0 << 0;
    QTest::newRow("final block cut to size") << 300 << ""
                                             << "" << any << complete << 0 << 0;
    QTest::newRow("split in one pass") << 5000 << ""
                                       << "2:split:5" << any << complete << 0 << 0;
    QTest::newRow("rest after the pass") << 5000 << ""
                                         << "2:split:290" << any << complete << 1 << 0;
    QTest::newRow("short block") << 5000 << ""
                                 << "2:cut" << any << complete << 1 << 0;
    QTest::newRow("silent pass") << 5000 << ""
                                 << "3:drop" << any << complete << 1 << 1;
    QTest::newRow("module aborts")
        << 5000 << ""
        << "2:can" << any << int(LogPullOutcome::AbortedByModule) << 0 << 0;
    QTest::newRow("digest in upper case")
        << 300 << "upper"
        << "" << any << int(LogPullOutcome::DigestMismatch) << 0 << 0;
    QTest::newRow("failure limit") << 5000 << ""
                                   << "*:drop" << Session::UNATTENDED_LOG_FAILURES
                                   << int(LogPullOutcome::TooManyFailures) << 9 << 10;
}

void TestSession::logPull()
{
    QFETCH(int, size);
    QFETCH(QString, fault);
    QFETCH(QString, lineFault);
    QFETCH(int, maxFailures);
    QFETCH(int, outcome);
    QFETCH(int, naks);
    QFETCH(int, emptyPasses);

    ModuleConfig config = moduleConfig(125);
    config.logSize = size;
    Bench bench(config);
    QVERIFY(bench.session.login(QStringLiteral("admin"), PASSWORD).ok());
    applyFault(bench.model, fault);
    // The large row is the unattended caller's: the request ends with its reply.
    const bool unattended = size > 100000;
    const qint64 startMs = bench.link.nowMs;
    const LogRequestResult request = bench.session.requestLog(!unattended);
    QCOMPARE(request.outcome, LogRequestReply::Accepted);
    QCOMPARE(request.announced.size, size);

    const QStringList part = lineFault.split(QLatin1Char(':'));
    const int target = part[0] == QLatin1String("*") ? -2 : part[0].toInt() + bench.answers;
    if (!lineFault.isEmpty())
        bench.outputFault = [&](int n, int at, const QByteArray &bytes) -> ScriptedLink::Reply {
            if (n != target && target != -2) // a numbered answer is hit once
                return {{at, bytes}};
            if (part[1] == QLatin1String("split"))
                return {{at / 2, bytes.left(bytes.size() / 2)},
                        {at / 2 + part[2].toInt(), bytes.mid(bytes.size() / 2)}};
            if (part[1] == QLatin1String("cut"))
                return {{at, bytes.left(bytes.size() - 40)}};
            if (part[1] == QLatin1String("can"))
                return {{at, QByteArray(1, Transfer::CAN)}};
            return {};
        };
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    const LogPullResult result = bench.session.pullLog(request.announced, &sink, maxFailures);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(bench.count(Transfer::NAK), naks);
    QCOMPARE(bench.seen.emptyPasses, emptyPasses);
    if (result.outcome == LogPullOutcome::Complete) {
        QCOMPARE(sink.data(), bench.model.logContent());
        QCOMPARE(bench.link.writes.last(), QByteArray(1, Transfer::ACK));
    }
    if (unattended) { // the line's own time bounds the pull, not a pass per block
        const int blocks = (size + 1023) / 1024;
        const double boundMs = lineMs(size + blocks * (Transfer::BLOCK_OVERHEAD + 1) + 150);
        QVERIFY2(boundMs / double(bench.link.nowMs - startMs) > 0.97,
                 qPrintable(QString::number(bench.link.nowMs - startMs)));
    }
}

void TestSession::cancelEndsTheStep_data()
{
    QTest::addColumn<QString>("fault");     // see applyFault; "log": a log pull, else an upgrade
    QTest::addColumn<int>("cancelAtWrite"); // counted from the step's first write
    QTest::addColumn<int>("cancelAfterMs");
    QTest::newRow("unanswered block") << "block:1:" << 3 << 40;
    QTest::newRow("block's ACK under way") << "" << 3 << 0;
    QTest::newRow("verdict wait") << "eot:" << 8 << 500;
    QTest::newRow("log pass, block under way") << "log" << 3 << 10;
}

// The flag ends the step at its wait within 100 ms, as Cancelled, never as
// a time-out; the one stop exchange after it is acknowledged.
void TestSession::cancelEndsTheStep()
{
    QFETCH(QString, fault);
    QFETCH(int, cancelAtWrite);
    QFETCH(int, cancelAfterMs);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("fw.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(2500, 'x')) == 2500);
    file.close();
    Bench bench(moduleConfig(124));
    QVERIFY(bench.session.login(QStringLiteral("admin"), PASSWORD).ok());
    const LogRequestResult request = bench.session.requestLog();
    applyFault(bench.model, fault);
    bench.link.writes.clear();
    bench.inOrder = true;
    bench.cancelAtWrite = cancelAtWrite;
    bench.cancelAfterMs = cancelAfterMs;
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    bool cancelled = false;
    if (fault == QLatin1String("log")) {
        cancelled = bench.session.pullLog(request.announced, &sink, Session::UNLIMITED).outcome ==
                    LogPullOutcome::Cancelled;
    } else {
        const FirmwareImage image = FirmwareImage::load(file.fileName());
        QCOMPARE(bench.session.startLoading(image).outcome, UpgradeOutcome::Upgraded);
        cancelled = bench.session.sendImage(image.blocks).outcome == UpgradeOutcome::Cancelled;
    }
    const qint64 afterFlagMs = bench.link.nowMs - bench.cancelSetMs;
    QVERIFY(cancelled);
    QVERIFY2(afterFlagMs >= 0 && afterFlagMs < 100, qPrintable(QString::number(afterFlagMs)));
    QCOMPARE(bench.session.stopTransfer().outcome, StopOutcome::Stopped);
    QCOMPARE(bench.count(Transfer::CAN), 1);
}

// A transfer left running waits for the module's lone EOT or CAN, answers it
// with ACK, and drops what came before; the flag or a lost line end the wait
// with nothing answered.
void TestSession::endSignalOfATransferLeftRunning_data()
{
    QTest::addColumn<ScriptedLink::Reply>("script");
    QTest::addColumn<int>("signal"); // 0: none
    const QByteArray eot(1, Transfer::EOT), can(1, Transfer::CAN);
    QTest::newRow("EOT after stray bytes")
        << ScriptedLink::Reply{{10, "\x01\x04"}, {900, eot}} << int(Transfer::EOT);
    QTest::newRow("CAN after a quiet minute")
        << ScriptedLink::Reply{{60000, can}} << int(Transfer::CAN);
    QTest::newRow("EOT inside a longer piece")
        << ScriptedLink::Reply{{10, "\x04\x01"}, {20, {}}} << 0;
    QTest::newRow("the flag first") << ScriptedLink::Reply{{10, {}}, {50, eot}} << 0;
    QTest::newRow("the line goes") << ScriptedLink::Reply{{10, {}, true}, {50, eot}} << 0;
}

void TestSession::endSignalOfATransferLeftRunning()
{
    QFETCH(ScriptedLink::Reply, script);
    QFETCH(int, signal);
    ScriptedLink link;
    CancelFlag until;
    link.cancelFlag = &until;
    link.respond = [script](const QByteArray &) { return script; };
    ModuleSession session(&link);
    link.write("?"); // the script starts here
    QCOMPARE(int(session.awaitEndSignal(until)), signal);
    QCOMPARE(link.writes.mid(1),
             signal ? QList<QByteArray>{QByteArray(1, Transfer::ACK)} : QList<QByteArray>());
}

void TestSession::lostLineEndsTheStep_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("loseAtWrite"); // counted from the step's first write
    for (const char *step : {"login", "change", "read", "write", "log request", "stop"})
        QTest::newRow(step) << QString::fromLatin1(step) << 1;
    QTest::newRow("start loading") << "upgrade" << 1;
    QTest::newRow("block") << "upgrade" << 3; // 2500 bytes: six blocks
    QTest::newRow("verdict") << "upgrade" << 8;
    QTest::newRow("log pass") << "log pull" << 1;
}

// The step ends at its first wait after the loss, with the lost outcome,
// and writes nothing more: no resend, repeat, fallback, NAK or stop.
void TestSession::lostLineEndsTheStep()
{
    QFETCH(QString, step);
    QFETCH(int, loseAtWrite);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("fw.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(2500, 'x')) == 2500);
    file.close();
    Bench bench(moduleConfig(124));
    ModuleSession &session = bench.session;
    QVERIFY(session.login(QStringLiteral("admin"), PASSWORD).ok());
    const LogRequestResult request = session.requestLog();
    bench.link.writes.clear();
    bench.loseAtWrite = loseAtWrite;
    bool lost = false;
    if (step == QLatin1String("login") || step == QLatin1String("change")) {
        const CredentialResult result =
            step == QLatin1String("login")
                ? session.login(QStringLiteral("admin"), PASSWORD)
                : session.changeCredentials(QStringLiteral("admin"), QStringLiteral("New_p4ss"));
        lost = result.outcome == StepOutcome::LinkLost;
    } else if (step == QLatin1String("read") || step == QLatin1String("write")) {
        VersionInfo version;
        lost = (step == QLatin1String("read") ? session.readVersions(&version)
                                              : session.writeSsid(QStringLiteral("x")))
                   .outcome == StepOutcome::LinkLost;
    } else if (step == QLatin1String("upgrade")) {
        const UpgradeResult result = session.upgrade(file.fileName(), nullptr);
        lost = result.linkLost && !result.needsStop() && result.outcome != UpgradeOutcome::Upgraded;
    } else if (step == QLatin1String("log request")) {
        lost = session.requestLog().linkLost;
    } else if (step == QLatin1String("log pull")) {
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        lost = session.pullLog(request.announced, &sink, Session::UNLIMITED).linkLost;
    } else {
        lost = session.stopTransfer().linkLost;
    }
    QVERIFY(lost);
    QVERIFY(session.linkLost());
    QCOMPARE(bench.link.writes.size(), loseAtWrite);
}

// A real port whose far end closes mid-wait: the wait ends within a second,
// with LinkLost, without spinning on the hung-up descriptor.
void TestSession::lostPortEndsTheWaitAtOnce()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    BlockingSerialLink link;
    QString problem;
    QVERIFY2(link.open(pty.slavePath(), &problem), qPrintable(problem));
    std::promise<void> waiting;
    std::thread farEnd([&pty, started = waiting.get_future()] {
        started.wait();
        pty.hangUp();
    });
    LinkWait wait;
    wait.limitMs = 3000;
    wait.until = [&waiting, told = false](const ReadPieces &) mutable {
        if (!told)
            waiting.set_value(); // the wait has begun
        told = true;
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = threadCpuMs();
    const WaitEnd end = link.waitFor(wait);
    const qint64 cpuMs = threadCpuMs() - cpuBefore;
    const qint64 ms = clock.elapsed();
    farEnd.join();
    QCOMPARE(end, WaitEnd::LinkLost);
    QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
    QVERIFY2(cpuMs < 100, qPrintable(QString::number(cpuMs)));
    QCOMPARE(link.waitFor(wait), WaitEnd::LinkLost);
    QVERIFY(!link.write("x"));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
