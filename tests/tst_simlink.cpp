#include "crypto/credential.h"
#include "protocol/frame.h"
#include "serial/handleserialport.h"
#include "simulator/lineshaper.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "simulator/simfaults.h"
#include "support/sanitizers.h"
#include "transfer/transferframes.h"

#include <QSerialPort>
#include <QtTest>

namespace
{

const QString ACCOUNT = QStringLiteral("admin");
const QString FACTORY = QStringLiteral("Initpass_456");
const QString OWN_PASSWORD = QStringLiteral("Secret_789");

// The tool's side of the line: the real serial port manager, with every
// received chunk collected. Waits sleep in an event loop.
class ToolSide
{
public:
    explicit ToolSide(const QString &path)
    {
        opened = port.openPort(path) && port.setBaudRate(QStringLiteral("230400"));
        QObject::connect(&port, &HandleSerialPort::readyReadString,
                         [this](const QByteArray &bytes, int size) {
                             received += bytes.left(size);
                             ++chunks;
                             if (received.size() >= wanted)
                                 loop.quit();
                         });
    }

    // Writes the request and waits until `want` bytes have arrived or
    // `timeoutMs` have passed; returns what arrived.
    QByteArray exchange(const QByteArray &request, int want, int timeoutMs = 1000)
    {
        received.clear();
        chunks = 0;
        port.writeBytes(request);
        return waitFor(want, timeoutMs);
    }

    QByteArray waitFor(int want, int timeoutMs)
    {
        wanted = want;
        if (received.size() < want) {
            QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        wanted = INT_MAX;
        return received;
    }

    HandleSerialPort port;
    bool opened = false;
    QByteArray received;
    int chunks = 0;

private:
    QEventLoop loop;
    int wanted = INT_MAX;
};

QByteArray loginRequest(const QString &password)
{
    return buildSessionWriteRequest(
        SessionRequest::Login, credentialRequestData(ACCOUNT, password, CredentialScheme::AesOnly));
}

ModuleConfig aesConfig()
{
    ModuleConfig config;
    config.softwareVersion = 124;
    return config;
}

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 31 + 7);
    return bytes;
}

} // namespace

class TstSimLink : public QObject
{
    Q_OBJECT

private slots:
    void roundTripThroughTheToolsSerialPort();
    void derivedFactoryLoginAnswers0x16();
    void survivesTheToolClosingAndReopening();
    void plainQSerialPortTalksToTheModel();
    void chunkedAndDelayedRepliesArriveIntact_data();
    void chunkedAndDelayedRepliesArriveIntact();
    void pacingTakesTheLineTime();
    void faultSpecsOfTheCommandLine_data();
    void faultSpecsOfTheCommandLine();
    void macWriteRepliesLeaveLate_data();
    void macWriteRepliesLeaveLate();
    void shaperCutsAndDelays();
    void shaperSchedulesFromTheLineTimeNotTheWakeUps();
};

void TstSimLink::roundTripThroughTheToolsSerialPort()
{
    ModuleModel model(aesConfig());
    PtyLink link(&model);
    QVERIFY2(link.isOpen(), qPrintable(link.errorString()));
    QVERIFY(link.slavePath().startsWith(QStringLiteral("/dev/")));
    ToolSide tool(link.slavePath());
    QVERIFY(tool.opened);

    QCOMPARE(tool.exchange(loginRequest(FACTORY), 3), QByteArray::fromHex("019016"));
    QVERIFY(model.sessionRestricted());
    model.setLoginPassword(OWN_PASSWORD);
    const QByteArray accepted = tool.exchange(loginRequest(OWN_PASSWORD), 8);
    QCOMPARE(accepted.size(), 8);
    QVERIFY(checkReplyCrc(accepted));
    QVERIFY(model.sessionOpen() && !model.sessionRestricted());

    QByteArray wifi;
    for (SessionRequest read : {SessionRequest::ReadVersions, SessionRequest::ReadUart,
                                SessionRequest::ReadWifi, SessionRequest::ReadFe}) {
        const SessionRequestSpec &spec = sessionRequestSpec(read);
        const QByteArray reply = tool.exchange(buildSessionReadRequest(read), spec.replyBytes);
        QCOMPARE(reply.size(), spec.replyBytes);
        QVERIFY(checkReplyCrc(reply));
        QCOMPARE(reply.mid(3, reply.size() - 5),
                 model.registerBytes(spec.firstRegister, spec.registerCount));
        if (read == SessionRequest::ReadWifi)
            wifi = reply;
    }
    QCOMPARE(wifi.mid(3, 13), QByteArray("KB-R5530-0001"));

    tool.received.clear();
    tool.port.writeBytes(buildLogoutRequest());
    QTRY_VERIFY_WITH_TIMEOUT(!model.sessionOpen(), 1000);
    QCOMPARE(tool.waitFor(1, 100), QByteArray()); // logout is not answered
}

void TstSimLink::derivedFactoryLoginAnswers0x16()
{
    ModuleModel model; // software 125, factory password
    PtyLink link(&model);
    ToolSide tool(link.slavePath());
    QVERIFY(tool.opened);
    const QByteArray request = buildSessionWriteRequest(
        SessionRequest::Login, credentialRequestData(ACCOUNT, FACTORY, CredentialScheme::Derived));
    QCOMPARE(tool.exchange(request, 3), QByteArray::fromHex("019016"));
}

void TstSimLink::survivesTheToolClosingAndReopening()
{
    ModuleModel model(aesConfig());
    PtyLink link(&model);
    {
        ToolSide first(link.slavePath());
        QVERIFY(first.opened);
        QCOMPARE(first.exchange(buildSessionReadRequest(SessionRequest::ReadFe), 3),
                 QByteArray::fromHex("018315"));
        first.port.closePort();
    }
    QTest::qWait(150); // the master sees no reader meanwhile
    ToolSide second(link.slavePath());
    QVERIFY(second.opened);
    QCOMPARE(second.exchange(buildSessionReadRequest(SessionRequest::ReadFe), 3),
             QByteArray::fromHex("018315"));
}

void TstSimLink::plainQSerialPortTalksToTheModel()
{
    ModuleModel model(aesConfig());
    PtyLink link(&model);
    QSerialPort port(link.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(port.setBaudRate(230400));
    port.write(buildSessionReadRequest(SessionRequest::ReadVersions));
    QByteArray reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply += port.readAll()).size() >= 3, 1000);
    QCOMPARE(reply, QByteArray::fromHex("018315"));
}

void TstSimLink::chunkedAndDelayedRepliesArriveIntact_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("one byte at a time") << 1 << 0;
    QTest::newRow("seven-byte pieces, 50 ms late") << 7 << 50;
    QTest::newRow("whole, 200 ms late") << 0 << 200;
}

void TstSimLink::chunkedAndDelayedRepliesArriveIntact()
{
    QFETCH(int, chunk);
    QFETCH(int, delayMs);
    ModuleModel model(aesConfig());
    model.setLoginPassword(OWN_PASSWORD);
    PtyLink link(&model);
    ToolSide tool(link.slavePath());
    QVERIFY(tool.opened);
    QCOMPARE(tool.exchange(loginRequest(OWN_PASSWORD), 8).size(), 8);

    link.setReplyChunking(chunk, 2);
    link.setReplyDelayMs(delayMs);
    QSignalSpy pieces(link.toTool(), &LineShaper::delivered);
    QElapsedTimer clock;
    clock.start();
    const QByteArray reply =
        tool.exchange(buildSessionReadRequest(SessionRequest::ReadWifi), 121, 3000);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(reply.size(), 121);
    QVERIFY(checkReplyCrc(reply));
    QCOMPARE(reply.mid(3, 116), model.registerBytes(Registers::WIFI_SSID, 58));
    // The shaper hands pieces on up to 1 ms before they are due.
    QVERIFY2(elapsed >= delayMs - 1, qPrintable(QString::number(elapsed)));
    if (chunk > 0)
        // Counted where the link cuts them: a loaded reader may take several at once.
        QCOMPARE(pieces.count(), (121 + chunk - 1) / chunk);
    else
        QVERIFY2(elapsed < 2 * delayMs,
                 qPrintable(QString::number(elapsed))); // delayed once, not per piece
}

void TstSimLink::pacingTakesTheLineTime()
{
    ModuleModel model(aesConfig());
    model.setLoginPassword(OWN_PASSWORD);
    PtyLink link(&model);
    ToolSide tool(link.slavePath());
    QVERIFY(tool.opened);
    QCOMPARE(tool.exchange(loginRequest(OWN_PASSWORD), 8).size(), 8);
    const QByteArray file = patterned(20 * 1024);
    const QByteArray start = buildStartLoadingRequest("fw.bin", quint32(file.size()),
                                                      digestHex(file, QCryptographicHash::Sha1));
    QCOMPARE(tool.exchange(start, 1), QByteArray(1, Transfer::READY));

    link.setLineRate(230400);
    const qint64 wireBefore = link.wireBytes();
    QElapsedTimer clock;
    clock.start();
    for (const QByteArray &block : cutIntoBlocks(file))
        QCOMPARE(tool.exchange(block, 1), QByteArray(1, Transfer::ACK));
    const double measured = clock.nsecsElapsed() / 1e9;
    const double bound = (link.wireBytes() - wireBefore) / 23040.0;
    QCOMPARE(link.wireBytes() - wireBefore, qint64(20 * (1029 + 1)));
    const double deviation = (measured - bound) / bound;
    qInfo("paced: %.3f s for a line time of %.3f s (%+.2f %%)", measured, bound, 100 * deviation);
    // Never faster than the line; slower only by the reader's own turnaround
    // per block, which a loaded machine and the sanitizers stretch.
    const double allowedLate = SANITIZED_BUILD ? 0.20 : 0.08;
    QVERIFY2(deviation > -0.04 && deviation < allowedLate,
             qPrintable(QStringLiteral("measured %1 s, line time %2 s").arg(measured).arg(bound)));
    QCOMPARE(tool.exchange(QByteArray(1, Transfer::EOT), 1), QByteArray(1, Transfer::ACK));
    QCOMPARE(model.uploadedImage(), file);
}

void TstSimLink::faultSpecsOfTheCommandLine_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<QByteArray>("reply"); // to a read outside a session; empty: refused spec
    QTest::newRow("error code in hex") << "error:0x12" << QByteArray::fromHex("018312");
    QTest::newRow("raw bytes with blanks") << "raw:01 02 03 04" << QByteArray::fromHex("01020304");
    QTest::newRow("drop-next") << "drop-next" << QByteArray("none");
    QTest::newRow("unknown kind") << "explode:1" << QByteArray();
    QTest::newRow("odd hex digits") << "raw:012" << QByteArray();
    QTest::newRow("negative count") << "nak:-1" << QByteArray();
    QTest::newRow("error code above a byte") << "error:0x100" << QByteArray();
    QTest::newRow("MAC write reply late")
        << "mac-write-delay:3000" << QByteArray::fromHex("018315");
    QTest::newRow("MAC write delay without a time") << "mac-write-delay" << QByteArray();
}

void TstSimLink::macWriteRepliesLeaveLate_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<bool>("late");
    QTest::newRow("Wi-Fi MAC") << int(SessionRequest::WriteWifiMac) << true;
    QTest::newRow("FE MAC") << int(SessionRequest::WriteFeMac) << true;
    QTest::newRow("SSID, at once") << int(SessionRequest::WriteSsid) << false;
}

// The module takes the address at once and answers only after the delay.
void TstSimLink::macWriteRepliesLeaveLate()
{
    QFETCH(int, request);
    QFETCH(bool, late);
    ModuleConfig config = aesConfig();
    config.loginPassword = OWN_PASSWORD;
    ModuleModel model(config);
    QByteArray sent;
    connect(&model, &ModuleModel::output, [&sent](const QByteArray &bytes) { sent += bytes; });
    model.feed(loginRequest(OWN_PASSWORD));
    QVERIFY(model.sessionOpen());
    QString problem;
    QVERIFY(applyFault(QStringLiteral("mac-write-delay:200"), &model, nullptr, &problem));
    const QByteArray field = QByteArray::fromHex("02AB00000001");
    sent.clear();
    QElapsedTimer clock;
    clock.start();
    model.feed(buildSessionWriteRequest(SessionRequest(request), field));
    const quint16 first = sessionRequestSpec(SessionRequest(request)).firstRegister;
    QCOMPARE(model.registerBytes(first, 3), field);
    QCOMPARE(sent.isEmpty(), late);
    QTRY_COMPARE(sent.size(), 8);
    QCOMPARE(clock.elapsed() >= 200, late);
}

void TstSimLink::faultSpecsOfTheCommandLine()
{
    QFETCH(QString, spec);
    QFETCH(QByteArray, reply);
    ModuleModel model;
    QByteArray sent;
    connect(&model, &ModuleModel::output, [&sent](const QByteArray &bytes) { sent += bytes; });
    QString problem;
    QCOMPARE(applyFault(spec, &model, nullptr, &problem), !reply.isEmpty());
    QCOMPARE(problem.isEmpty(), !reply.isEmpty());
    model.feed(buildSessionReadRequest(SessionRequest::ReadVersions));
    if (reply.isEmpty())
        QCOMPARE(sent, QByteArray::fromHex("018315")); // nothing was changed
    else
        QCOMPARE(sent, reply == "none" ? QByteArray() : reply);
}

void TstSimLink::shaperCutsAndDelays()
{
    QElapsedTimer clock;
    clock.start();
    LineShaper shaper(&clock);
    QSignalSpy spy(&shaper, &LineShaper::delivered);
    shaper.send("abc");
    QCOMPARE(spy.count(), 1); // no shaping: handed on at once
    QCOMPARE(spy.takeFirst().at(0).toByteArray(), QByteArray("abc"));

    shaper.setChunking(2, 5);
    shaper.setDelayMs(30);
    const qint64 sentAt = clock.nsecsElapsed();
    shaper.send("12345", sentAt);
    QCOMPARE(spy.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, 1000);
    QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("12"));
    QCOMPARE(spy.at(1).at(0).toByteArray(), QByteArray("34"));
    QCOMPARE(spy.at(2).at(0).toByteArray(), QByteArray("5"));
    QCOMPARE(spy.at(0).at(1).toLongLong() - sentAt, qint64(30000000));
    QCOMPARE(spy.at(2).at(1).toLongLong() - spy.at(0).at(1).toLongLong(), qint64(10000000));
    QCOMPARE(shaper.bytesSent(), qint64(8));
}

void TstSimLink::shaperSchedulesFromTheLineTimeNotTheWakeUps()
{
    QElapsedTimer clock;
    clock.start();
    LineShaper shaper(&clock);
    shaper.setLineRate(230400);
    QCOMPARE(shaper.byteNs(), qint64(43402));
    QSignalSpy spy(&shaper, &LineShaper::delivered);
    const qint64 start = clock.nsecsElapsed();
    shaper.send(QByteArray(1000, 'x'), start);
    shaper.send(QByteArray(500, 'y')); // queued behind: starts when the line is free
    QCOMPARE(shaper.lineFreeAtNs(), start + 1500 * qint64(43402));
    QTRY_VERIFY_WITH_TIMEOUT(shaper.idle(), 2000);
    QByteArray joined;
    for (const QList<QVariant> &piece : spy)
        joined += piece.at(0).toByteArray();
    QCOMPARE(joined, QByteArray(1000, 'x') + QByteArray(500, 'y'));
    QVERIFY(spy.count() > 10); // handed on progressively, not at the end only
    QCOMPARE(spy.last().at(1).toLongLong(), start + 1500 * qint64(43402));
    // A reply to bytes whose line time has already passed starts from that
    // time, so a late wake-up does not delay it further.
    const qint64 past = clock.nsecsElapsed() - 50000000;
    spy.clear();
    shaper.send(QByteArray(10, 'z'), past);
    QCOMPARE(spy.count(), 1);
}

QTEST_GUILESS_MAIN(TstSimLink)
#include "tst_simlink.moc"
