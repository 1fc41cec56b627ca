#include "crypto/credential.h"
#include "protocol/frame.h"
#include "simulator/modulemodel.h"
#include "transfer/transferframes.h"

#include <QtTest>

namespace
{

const QString ACCOUNT = QStringLiteral("admin");
const QString FACTORY = QStringLiteral("Initpass_456");
const QString OWN_PASSWORD = QStringLiteral("Secret_789");

QByteArray errorReply(quint8 function, quint8 code)
{
    return QByteArray(1, char(0x01)) + char(function | 0x80) + char(code);
}

QByteArray writeReply(quint16 first, quint16 count)
{
    QByteArray reply = QByteArray::fromHex("0110");
    reply += char(first >> 8);
    reply += char(first & 0xFF);
    reply += char(count >> 8);
    reply += char(count & 0xFF);
    appendCrc(reply);
    return reply;
}

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + i / 256) & 0xFF);
    return bytes;
}

// Derived fields cost a key derivation each: the test makes each one once.
QByteArray credentialData(const QString &account, const QString &password, CredentialScheme scheme)
{
    static QHash<QString, QByteArray> cache;
    const QString key = QString::number(int(scheme)) + account + QLatin1Char('\n') + password;
    if (!cache.contains(key))
        cache.insert(key, credentialRequestData(account, password, scheme));
    return cache.value(key);
}

QByteArray loginRequest(const QString &password, CredentialScheme scheme,
                        const QString &account = ACCOUNT)
{
    return buildSessionWriteRequest(SessionRequest::Login,
                                    credentialData(account, password, scheme));
}

QByteArray changeRequest(const QString &password, CredentialScheme scheme,
                         const QString &account = ACCOUNT)
{
    return buildSessionWriteRequest(SessionRequest::ChangeCredentials,
                                    credentialData(account, password, scheme));
}

QByteArray readRequest(SessionRequest request)
{
    return buildSessionReadRequest(request);
}

// A raw write frame whose byte count need not match its register count.
QByteArray rawWrite(quint16 first, quint16 count, const QByteArray &data)
{
    QByteArray frame = QByteArray::fromHex("0110");
    frame += char(first >> 8);
    frame += char(first & 0xFF);
    frame += char(count >> 8);
    frame += char(count & 0xFF);
    frame += char(data.size());
    frame += data;
    appendCrc(frame);
    return frame;
}

ModuleConfig aesConfig(const QString &password = OWN_PASSWORD)
{
    ModuleConfig config;
    config.softwareVersion = 124;
    config.loginPassword = password;
    return config;
}

// The model with everything it sends collected.
class Probe
{
public:
    explicit Probe(const ModuleConfig &config = ModuleConfig()) : model(config)
    {
        model.setClock([this] { return now; });
        QObject::connect(&model, &ModuleModel::output,
                         [this](const QByteArray &bytes) { sent += bytes; });
    }

    // Feeds the bytes (in pieces of `piece` bytes, 0: whole) and returns
    // what the model answered.
    QByteArray send(const QByteArray &bytes, int piece = 0)
    {
        sent.clear();
        if (piece <= 0) {
            model.feed(bytes);
        } else {
            for (int i = 0; i < bytes.size(); i += piece)
                model.feed(bytes.mid(i, piece));
        }
        return sent;
    }

    // Feeds the bytes, lets the line go quiet and returns what the model
    // answered, the answer to the silence included.
    QByteArray sendThenSilence(const QByteArray &bytes)
    {
        sent.clear();
        model.feed(bytes);
        now += model.config().frameSilenceMs;
        model.silenceElapsed();
        return sent;
    }

    bool login(const QString &password)
    {
        const CredentialScheme scheme = model.config().softwareVersion <= 124
                                            ? CredentialScheme::AesOnly
                                            : CredentialScheme::Derived;
        return send(loginRequest(password, scheme)) == writeReply(Registers::LOGIN_BLOCK, 64);
    }

    QByteArray startLoading(const QByteArray &file, const QByteArray &digest)
    {
        return send(buildStartLoadingRequest("fw.bin", quint32(file.size()), digest));
    }

    QByteArray digestOf(const QByteArray &content) const
    {
        return digestHex(content, transferDigestFor(model.config().softwareVersion));
    }

    qint64 now = 1000; // the model's clock, in milliseconds
    ModuleModel model;
    QByteArray sent;
};

} // namespace

class TstModuleModel : public QObject
{
    Q_OBJECT

private slots:
    void readsTheFourBlocks_data();
    void readsTheFourBlocks();
    void refusesBadReadRanges_data();
    void refusesBadReadRanges();
    void writesSettings_data();
    void writesSettings();
    void refusesBadWrites_data();
    void refusesBadWrites();
    void unknownFunctionIsRefusedAfterSilence();
    void unknownFunctionDoesNotStallTheLine_data();
    void unknownFunctionDoesNotStallTheLine();
    void everythingButLoginNeedsASession_data();
    void everythingButLoginNeedsASession();
    void checksCredentialsUnderTheVersionsScheme_data();
    void checksCredentialsUnderTheVersionsScheme();
    void factoryPasswordOpensARestrictedSession();
    void derivedCredentialChangeThenLogin();
    void credentialChangeChecksTheAccount();
    void locksAfterThreeWrongLoginsInARow();
    void lockCanLastAFixedTime();
    void idleSessionTimesOut_data();
    void idleSessionTimesOut();
    void logoutEndsTheSessionSilently();
    void upgradeWithNakAndResend_data();
    void upgradeWithNakAndResend();
    void upgradeRefusesAWrongDigest_data();
    void upgradeRefusesAWrongDigest();
    void upgradeAcksARepeatedBlockWithoutStoringIt();
    void upgradeRefusesOutOfOrderBlocksAndCancels();
    void upgradeNaksABlockCutShort();
    void upgradeNeedsAFullSession();
    void logUploadWithNakResendAndCan();
    void logUploadOfAnEmptyLog();
    void faultDropsTheNextReply();
    void faultCorruptsCrcOfReplies();
    void faultAnswersWithErrorOrRawBytes_data();
    void faultAnswersWithErrorOrRawBytes();
    void faultNaksBlocks();
    void faultAbortsTheUpgradeAfterABlock_data();
    void faultAbortsTheUpgradeAfterABlock();
    void faultAbortsTheLogUploadAfterABlock_data();
    void faultAbortsTheLogUploadAfterABlock();
    void framesFedOneByteAtATime();
    void dropsPartialFramesAndResynchronises();
    void recordsEveryUnitReceived();
};

void TstModuleModel::readsTheFourBlocks_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("versions 125 and 3")
        << int(SessionRequest::ReadVersions) << QByteArray::fromHex("007D0003");
    QTest::newRow("RS-485 115200 8 1 0")
        << int(SessionRequest::ReadUart) << QByteArray::fromHex("0001C200000800010000");
    QTest::newRow("FE 192.168.1.100/24 and its MAC")
        << int(SessionRequest::ReadFe) << QByteArray::fromHex("C0A80164FFFFFF00024B52553002");
    QByteArray wifi = QByteArray("KB-R5530-0001").leftJustified(64, '\0');
    wifi += QByteArray::fromHex("000600140002");
    wifi += QByteArray("Initpass_456").leftJustified(32, '\0');
    wifi += QByteArray::fromHex("C0A80401FFFFFF00024B52553001");
    QTest::newRow("Wi-Fi: SSID, channel 6, 20 MHz, WPA2, password, addresses")
        << int(SessionRequest::ReadWifi) << wifi;
}

void TstModuleModel::readsTheFourBlocks()
{
    QFETCH(int, request);
    QFETCH(QByteArray, data);
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const SessionRequestSpec &spec = sessionRequestSpec(SessionRequest(request));
    const QByteArray reply = probe.send(readRequest(SessionRequest(request)));
    QCOMPARE(reply.size(), spec.replyBytes);
    QCOMPARE(reply.left(3), QByteArray::fromHex("0103") + char(spec.registerCount * 2));
    QVERIFY(checkReplyCrc(reply));
    if (request == int(SessionRequest::ReadVersions))
        data[1] = char(124); // the configuration says 124
    QCOMPARE(reply.mid(3, reply.size() - 5), data);
    QVERIFY(probe.model.wifiMac() != probe.model.feMac());
}

void TstModuleModel::refusesBadReadRanges_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("code"); // 0: answered
    QTest::newRow("last register of the map") << 0x00FD << 1 << 0;
    QTest::newRow("one past the map") << 0x00FE << 1 << 0x02;
    QTest::newRow("range running past the map") << 0x00F0 << 0x10 << 0x02;
    QTest::newRow("no register") << 0x0000 << 0 << 0x03;
    QTest::newRow("more than a reply can carry") << 0x0000 << 126 << 0x03;
}

void TstModuleModel::refusesBadReadRanges()
{
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(int, code);
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray reply = probe.send(buildReadRequest(quint16(first), quint16(count)));
    if (code == 0) {
        QCOMPARE(reply.size(), 3 + 2 * count + 2);
        QVERIFY(checkReplyCrc(reply));
    } else {
        QCOMPARE(reply, errorReply(0x03, quint8(code)));
    }
}

void TstModuleModel::writesSettings_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("SSID of 64 bytes, no terminator")
        << int(SessionRequest::WriteSsid) << QByteArray(64, 'S');
    QTest::newRow("Wi-Fi password") << int(SessionRequest::WriteWifiPassword)
                                    << QByteArray("NewWifi_123").leftJustified(32, '\0');
    QTest::newRow("Wi-Fi MAC") << int(SessionRequest::WriteWifiMac)
                               << QByteArray::fromHex("001A2B3C4D5E");
    QTest::newRow("FE MAC") << int(SessionRequest::WriteFeMac)
                            << QByteArray::fromHex("001A2B3C4D5F");
}

void TstModuleModel::writesSettings()
{
    QFETCH(int, request);
    QFETCH(QByteArray, field);
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const SessionRequestSpec &spec = sessionRequestSpec(SessionRequest(request));
    const QByteArray reply = probe.send(buildSessionWriteRequest(SessionRequest(request), field));
    QCOMPARE(reply, writeReply(spec.firstRegister, spec.registerCount));
    QCOMPARE(probe.model.registerBytes(spec.firstRegister, spec.registerCount), field);
    const QByteArray read = probe.send(buildReadRequest(spec.firstRegister, spec.registerCount));
    QCOMPARE(read.mid(3, field.size()), field);
}

void TstModuleModel::refusesBadWrites_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("code");
    QTest::newRow("byte count is not twice the register count")
        << rawWrite(Registers::WIFI_MAC, 3, QByteArray(4, 'x')) << 0x03;
    QTest::newRow("SSID of 16 registers")
        << rawWrite(Registers::WIFI_SSID, 16, QByteArray(32, 'x')) << 0x03;
    QTest::newRow("MAC of 4 registers")
        << rawWrite(Registers::FE_MAC, 4, QByteArray(8, 'x')) << 0x03;
    QTest::newRow("versions are read-only")
        << rawWrite(Registers::SOFTWARE_VERSION, 1, QByteArray(2, 'x')) << 0x02;
    QTest::newRow("no such field") << rawWrite(0x0090, 1, QByteArray(2, 'x')) << 0x02;
    QTest::newRow("logout with another value")
        << rawWrite(Registers::LOGOUT_COMMAND, 1, QByteArray::fromHex("0002")) << 0x03;
    QTest::newRow("login block of 32 registers")
        << rawWrite(Registers::LOGIN_BLOCK, 32, QByteArray(64, 'x')) << 0x03;
}

void TstModuleModel::refusesBadWrites()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, code);
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray before = probe.model.registerBytes(0, ModuleModel::REGISTER_COUNT);
    QCOMPARE(probe.send(frame), errorReply(0x10, quint8(code)));
    QCOMPARE(probe.model.registerBytes(0, ModuleModel::REGISTER_COUNT), before);
}

void TstModuleModel::unknownFunctionIsRefusedAfterSilence()
{
    Probe probe;
    QByteArray frame = QByteArray::fromHex("010600310001");
    appendCrc(frame);
    QCOMPARE(probe.sendThenSilence(frame), errorReply(0x06, 0x01));
    // The model takes frames again afterwards.
    QCOMPARE(probe.send(readRequest(SessionRequest::ReadVersions)), errorReply(0x03, 0x15));
}

void TstModuleModel::unknownFunctionDoesNotStallTheLine_data()
{
    QTest::addColumn<int>("quietMs");
    QTest::addColumn<bool>("silenceTold");
    QTest::addColumn<bool>("answered");
    QTest::newRow("quiet interval, noticed with the next bytes") << 50 << false << true;
    QTest::newRow("quiet interval, told by the line") << 50 << true << true;
    QTest::newRow("no pause: the request joins the partial frame") << 10 << false << false;
}

// "01 07" has no known length: only the silence after it ends the frame, and
// the model must take requests again afterwards instead of collecting input.
void TstModuleModel::unknownFunctionDoesNotStallTheLine()
{
    QFETCH(int, quietMs);
    QFETCH(bool, silenceTold);
    QFETCH(bool, answered);
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    QCOMPARE(probe.send(QByteArray::fromHex("0107")), QByteArray());
    QVERIFY(probe.model.awaitingSilence());
    probe.now += quietMs;
    if (silenceTold)
        probe.model.silenceElapsed();
    const QByteArray reply = probe.send(readRequest(SessionRequest::ReadVersions));
    QCOMPARE(reply.size() == 9 && checkReplyCrc(reply), answered);
    for (int i = 0; i < 1000 && answered; ++i)
        QCOMPARE(probe.send(readRequest(SessionRequest::ReadVersions)).size(), 9);
}

void TstModuleModel::everythingButLoginNeedsASession_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("read") << readRequest(SessionRequest::ReadVersions) << errorReply(0x03, 0x15);
    QTest::newRow("SSID write") << buildSessionWriteRequest(SessionRequest::WriteSsid, "x")
                                << errorReply(0x10, 0x15);
    QTest::newRow("credential change")
        << changeRequest(FACTORY, CredentialScheme::AesOnly) << errorReply(0x10, 0x15);
    QTest::newRow("start loading")
        << buildStartLoadingRequest("fw.bin", 10, QByteArray(40, 'a')) << errorReply(0x41, 0x15);
    QTest::newRow("log request") << buildLogRequest() << errorReply(0x41, 0x15);
    QTest::newRow("logout: no reply") << buildLogoutRequest() << QByteArray();
}

void TstModuleModel::everythingButLoginNeedsASession()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, reply);
    Probe probe(aesConfig());
    QCOMPARE(probe.send(frame), reply);
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);
}

void TstModuleModel::checksCredentialsUnderTheVersionsScheme_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("scheme");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("124 takes AES-only fields") << 124 << int(CredentialScheme::AesOnly) << true;
    QTest::newRow("124 refuses derived fields") << 124 << int(CredentialScheme::Derived) << false;
    QTest::newRow("125 takes derived fields") << 125 << int(CredentialScheme::Derived) << true;
    QTest::newRow("125 refuses AES-only fields") << 125 << int(CredentialScheme::AesOnly) << false;
}

void TstModuleModel::checksCredentialsUnderTheVersionsScheme()
{
    QFETCH(int, version);
    QFETCH(int, scheme);
    QFETCH(bool, accepted);
    ModuleConfig config;
    config.softwareVersion = version;
    config.loginPassword = OWN_PASSWORD;
    Probe probe(config);
    const QByteArray reply = probe.send(loginRequest(OWN_PASSWORD, CredentialScheme(scheme)));
    QCOMPARE(reply, accepted ? writeReply(Registers::LOGIN_BLOCK, 64) : errorReply(0x10, 0x12));
    QCOMPARE(probe.model.sessionOpen(), accepted);
    QCOMPARE(probe.model.sessionRestricted(), false);
}

void TstModuleModel::factoryPasswordOpensARestrictedSession()
{
    Probe probe(aesConfig(FACTORY));
    QCOMPARE(probe.send(loginRequest(FACTORY, CredentialScheme::AesOnly)), errorReply(0x10, 0x16));
    QVERIFY(probe.model.sessionRestricted());
    QCOMPARE(probe.send(readRequest(SessionRequest::ReadWifi)).size(), 121);
    // Any other write ends the restricted session.
    QCOMPARE(probe.send(buildSessionWriteRequest(SessionRequest::WriteSsid, "evil")),
             errorReply(0x10, 0x15));
    QVERIFY(!probe.model.sessionOpen());
    QCOMPARE(probe.model.ssid(), QStringLiteral("KB-R5530-0001"));

    QCOMPARE(probe.send(loginRequest(FACTORY, CredentialScheme::AesOnly)), errorReply(0x10, 0x16));
    QCOMPARE(probe.send(changeRequest(OWN_PASSWORD, CredentialScheme::AesOnly)),
             writeReply(Registers::CREDENTIAL_BLOCK, 64));
    QVERIFY(!probe.model.sessionOpen());
    QCOMPARE(probe.model.loginPassword(), OWN_PASSWORD);
    QCOMPARE(probe.send(loginRequest(FACTORY, CredentialScheme::AesOnly)), errorReply(0x10, 0x12));
    QVERIFY(probe.login(OWN_PASSWORD));
    QVERIFY(!probe.model.sessionRestricted());
}

void TstModuleModel::derivedCredentialChangeThenLogin()
{
    Probe probe; // version 125, factory password
    QCOMPARE(probe.send(loginRequest(FACTORY, CredentialScheme::Derived)), errorReply(0x10, 0x16));
    QCOMPARE(probe.send(changeRequest(OWN_PASSWORD, CredentialScheme::Derived)),
             writeReply(Registers::CREDENTIAL_BLOCK, 64));
    QVERIFY(!probe.model.sessionOpen());
    QVERIFY(probe.model.acceptsLoginPassword(OWN_PASSWORD));
    QVERIFY(!probe.model.acceptsLoginPassword(FACTORY));
    QVERIFY(probe.login(OWN_PASSWORD));
}

void TstModuleModel::credentialChangeChecksTheAccount()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    QCOMPARE(probe.send(changeRequest(FACTORY, CredentialScheme::AesOnly, "root")),
             errorReply(0x10, 0x12));
    QCOMPARE(probe.model.loginPassword(), OWN_PASSWORD);
    QVERIFY(probe.model.sessionOpen());
}

void TstModuleModel::locksAfterThreeWrongLoginsInARow()
{
    Probe probe(aesConfig());
    const QByteArray wrong = loginRequest("guess", CredentialScheme::AesOnly);
    // A success in between starts the count again.
    QCOMPARE(probe.send(wrong), errorReply(0x10, 0x12));
    QCOMPARE(probe.send(wrong), errorReply(0x10, 0x12));
    QVERIFY(probe.login(OWN_PASSWORD));
    QCOMPARE(probe.send(wrong), errorReply(0x10, 0x12));
    QVERIFY(!probe.model.sessionOpen());
    QCOMPARE(probe.send(wrong), errorReply(0x10, 0x12));
    QCOMPARE(probe.send(loginRequest("guess", CredentialScheme::AesOnly, "root")),
             errorReply(0x10, 0x14));
    QVERIFY(probe.model.accountLocked());
    QCOMPARE(probe.send(loginRequest(OWN_PASSWORD, CredentialScheme::AesOnly)),
             errorReply(0x10, 0x14));
    probe.model.restart();
    QVERIFY(probe.login(OWN_PASSWORD));
}

void TstModuleModel::lockCanLastAFixedTime()
{
    ModuleConfig config = aesConfig();
    config.lockUntilRestart = false;
    config.lockDurationMs = 100;
    Probe probe(config);
    const QByteArray wrong = loginRequest("guess", CredentialScheme::AesOnly);
    probe.send(wrong);
    probe.send(wrong);
    QCOMPARE(probe.send(wrong), errorReply(0x10, 0x14));
    QCOMPARE(probe.send(loginRequest(OWN_PASSWORD, CredentialScheme::AesOnly)),
             errorReply(0x10, 0x14));
    probe.now += 99;
    QVERIFY(probe.model.accountLocked());
    probe.now += 1;
    QVERIFY(!probe.model.accountLocked());
    QVERIFY(probe.login(OWN_PASSWORD));
}

void TstModuleModel::idleSessionTimesOut_data()
{
    // After the time-out every request but a login is answered 0x13 until the
    // next login; the forced password change retries under the older scheme.
    QTest::addColumn<QString>("password");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QList<QByteArray>>("replies");
    const QByteArray read = readRequest(SessionRequest::ReadVersions);
    QTest::newRow("reads after the time-out")
        << OWN_PASSWORD << QList<QByteArray>{read, read}
        << QList<QByteArray>{errorReply(0x03, 0x13), errorReply(0x03, 0x13)};
    QTest::newRow("forced change after the time-out, both schemes")
        << FACTORY
        << QList<QByteArray>{changeRequest(OWN_PASSWORD, CredentialScheme::Derived),
                             changeRequest(OWN_PASSWORD, CredentialScheme::AesOnly)}
        << QList<QByteArray>{errorReply(0x10, 0x13), errorReply(0x10, 0x13)};
    QTest::newRow("a new login ends the time-out")
        << OWN_PASSWORD
        << QList<QByteArray>{loginRequest(OWN_PASSWORD, CredentialScheme::AesOnly),
                             buildLogoutRequest(), read}
        << QList<QByteArray>{writeReply(Registers::LOGIN_BLOCK, 64), QByteArray(),
                             errorReply(0x03, 0x15)};
}

void TstModuleModel::idleSessionTimesOut()
{
    QFETCH(QString, password);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<QByteArray>, replies);
    ModuleConfig config = aesConfig(password);
    config.sessionTimeoutMs = 80;
    Probe probe(config);
    probe.send(loginRequest(password, CredentialScheme::AesOnly));
    QVERIFY(probe.model.sessionOpen());
    const QByteArray read = readRequest(SessionRequest::ReadVersions);
    probe.now += 79;
    QCOMPARE(probe.send(read).size(), 9); // the restricted session may read
    probe.now += 81;
    for (int i = 0; i < requests.size(); ++i)
        QCOMPARE(probe.send(requests.at(i)), replies.at(i));
}

void TstModuleModel::logoutEndsTheSessionSilently()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    QCOMPARE(probe.send(buildLogoutRequest()), QByteArray());
    QVERIFY(!probe.model.sessionOpen());
    QCOMPARE(probe.send(readRequest(SessionRequest::ReadFe)), errorReply(0x03, 0x15));
}

void TstModuleModel::upgradeWithNakAndResend_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("fileSize");
    QTest::newRow("SHA-1 under 124, 2500 bytes") << 124 << 2500;
    QTest::newRow("SHA-256 under 125, 3000 bytes") << 125 << 3000;
}

void TstModuleModel::upgradeWithNakAndResend()
{
    QFETCH(int, version);
    QFETCH(int, fileSize);
    ModuleConfig config = aesConfig();
    config.softwareVersion = version;
    Probe probe(config);
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray file = patterned(fileSize);
    QCOMPARE(probe.startLoading(file, probe.digestOf(file)), QByteArray(1, Transfer::READY));
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::ReceivingUpgrade);
    const QList<QByteArray> blocks = cutIntoBlocks(file);
    for (int i = 0; i < blocks.size(); ++i) {
        if (i == 2) {
            QByteArray damaged = blocks.at(i);
            damaged[20] = char(damaged.at(20) ^ 0x01);
            QCOMPARE(probe.send(damaged), QByteArray(1, Transfer::NAK));
        }
        QCOMPARE(probe.send(blocks.at(i)), QByteArray(1, Transfer::ACK));
    }
    QCOMPARE(probe.send(QByteArray(1, Transfer::EOT)), QByteArray(1, Transfer::ACK));
    QVERIFY(probe.model.upgradeVerified());
    QCOMPARE(probe.model.uploadedImage(), file);
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);
    QVERIFY(probe.model.sessionOpen());
}

void TstModuleModel::upgradeRefusesAWrongDigest_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("algorithm");
    QTest::addColumn<bool>("flipByte");
    QTest::newRow("image changed on the way") << 125 << int(QCryptographicHash::Sha256) << true;
    QTest::newRow("SHA-256 digest for version 124")
        << 124 << int(QCryptographicHash::Sha256) << false;
    QTest::newRow("SHA-1 digest for version 125") << 125 << int(QCryptographicHash::Sha1) << false;
}

void TstModuleModel::upgradeRefusesAWrongDigest()
{
    QFETCH(int, version);
    QFETCH(int, algorithm);
    QFETCH(bool, flipByte);
    ModuleConfig config = aesConfig();
    config.softwareVersion = version;
    config.loginPassword = OWN_PASSWORD;
    Probe probe(config);
    if (version > 124)
        probe.model.setLoginPassword(OWN_PASSWORD);
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray file = patterned(1500);
    const QByteArray digest = digestHex(file, QCryptographicHash::Algorithm(algorithm));
    QCOMPARE(probe.startLoading(file, digest), QByteArray(1, Transfer::READY));
    QByteArray sent = file;
    if (flipByte)
        sent[700] = char(sent.at(700) ^ 0x10);
    for (const QByteArray &block : cutIntoBlocks(sent))
        QCOMPARE(probe.send(block), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.send(QByteArray(1, Transfer::EOT)), QByteArray(1, Transfer::NAK));
    QVERIFY(!probe.model.upgradeVerified());
    QCOMPARE(probe.model.uploadedImage(), sent);
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);
}

void TstModuleModel::upgradeAcksARepeatedBlockWithoutStoringIt()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray file = patterned(2500);
    probe.startLoading(file, probe.digestOf(file));
    const QList<QByteArray> blocks = cutIntoBlocks(file);
    probe.model.dropNextReply(); // the ACK of block 0 is lost
    QCOMPARE(probe.send(blocks.at(0)), QByteArray());
    QCOMPARE(probe.send(blocks.at(0)), QByteArray(1, Transfer::ACK));
    for (int i = 1; i < blocks.size(); ++i)
        QCOMPARE(probe.send(blocks.at(i)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.send(QByteArray(1, Transfer::EOT)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.model.uploadedImage(), file);
}

void TstModuleModel::upgradeRefusesOutOfOrderBlocksAndCancels()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray file = patterned(4096);
    probe.startLoading(file, probe.digestOf(file));
    const QList<QByteArray> blocks = cutIntoBlocks(file);
    QCOMPARE(probe.send(blocks.at(1)), QByteArray(1, Transfer::NAK));
    QCOMPARE(probe.send(blocks.at(0)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.send(blocks.at(2)), QByteArray(1, Transfer::NAK));
    QCOMPARE(probe.send(QByteArray(1, Transfer::CAN)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);
    QVERIFY(probe.model.uploadedImage().isEmpty());
    // Back to requests: a block is now noise, dropped after the silence.
    QCOMPARE(probe.sendThenSilence(blocks.at(1)), QByteArray());
    QCOMPARE(probe.send(readRequest(SessionRequest::ReadVersions)).size(), 9);
}

void TstModuleModel::upgradeNaksABlockCutShort()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray file = patterned(300);
    probe.startLoading(file, probe.digestOf(file));
    const QList<QByteArray> blocks = cutIntoBlocks(file);
    QCOMPARE(probe.sendThenSilence(blocks.at(0).left(100)), QByteArray(1, Transfer::NAK));
    for (const QByteArray &block : blocks)
        QCOMPARE(probe.send(block), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.send(QByteArray(1, Transfer::EOT)), QByteArray(1, Transfer::ACK));
}

void TstModuleModel::upgradeNeedsAFullSession()
{
    Probe probe(aesConfig(FACTORY));
    QCOMPARE(probe.send(loginRequest(FACTORY, CredentialScheme::AesOnly)), errorReply(0x10, 0x16));
    QCOMPARE(probe.startLoading("x", probe.digestOf("x")), errorReply(0x41, 0x15));
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);
    probe.model.setLoginPassword(OWN_PASSWORD);
    QVERIFY(probe.login(OWN_PASSWORD));
    QCOMPARE(probe.send(buildStartLoadingRequest("big.bin", 31457281, QByteArray(40, 'a'))),
             errorReply(0x41, 0x03));
}

void TstModuleModel::logUploadWithNakResendAndCan()
{
    ModuleConfig config = aesConfig();
    config.softwareVersion = 125;
    config.logContent = patterned(2500);
    Probe probe(config);
    probe.model.setLoginPassword(OWN_PASSWORD);
    QVERIFY(probe.login(OWN_PASSWORD));

    LogAnnouncement announced;
    QVERIFY(parseLogReply(probe.send(buildLogRequest()), &announced));
    QCOMPARE(announced.fileName, QStringLiteral("sys.log"));
    QCOMPARE(announced.size, 2500);
    QCOMPARE(announced.digest, digestHex(config.logContent, QCryptographicHash::Sha256));

    const QList<QByteArray> expected = cutIntoBlocks(config.logContent);
    QByteArray block = probe.send(QByteArray(1, Transfer::READY));
    QCOMPARE(block, expected.at(0));
    QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), expected.at(1));
    QCOMPARE(probe.send(QByteArray(1, Transfer::NAK)), expected.at(1));
    for (int i = 2; i < expected.size(); ++i)
        QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), expected.at(i));
    QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), QByteArray(1, Transfer::EOT));
    QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), QByteArray());
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);

    // A second upload, cancelled by the tool after its first block.
    QVERIFY(parseLogReply(probe.send(buildLogRequest()), &announced));
    QCOMPARE(probe.send(QByteArray(1, Transfer::READY)), expected.at(0));
    QCOMPARE(probe.send(QByteArray(1, Transfer::CAN)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);
    QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), QByteArray());
}

void TstModuleModel::logUploadOfAnEmptyLog()
{
    ModuleConfig config = aesConfig();
    config.logSize = 0;
    Probe probe(config);
    QVERIFY(probe.login(OWN_PASSWORD));
    LogAnnouncement announced;
    QVERIFY(parseLogReply(probe.send(buildLogRequest()), &announced));
    QCOMPARE(announced.size, 0);
    QCOMPARE(announced.digest, digestHex(QByteArray(), QCryptographicHash::Sha1));
    QCOMPARE(probe.send(QByteArray(1, Transfer::READY)), QByteArray(1, Transfer::EOT));
}

void TstModuleModel::faultDropsTheNextReply()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    probe.model.dropNextReply();
    QCOMPARE(probe.send(readRequest(SessionRequest::ReadVersions)), QByteArray());
    QCOMPARE(probe.send(readRequest(SessionRequest::ReadVersions)).size(), 9);
}

void TstModuleModel::faultCorruptsCrcOfReplies()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    probe.model.corruptNextReplies(2);
    // Error replies carry no CRC and do not count.
    QCOMPARE(probe.send(buildReadRequest(0x00FE, 1)), errorReply(0x03, 0x02));
    const QByteArray first = probe.send(readRequest(SessionRequest::ReadUart));
    QCOMPARE(first.size(), 15);
    QVERIFY(!checkReplyCrc(first));
    QVERIFY(!checkReplyCrc(probe.send(readRequest(SessionRequest::ReadFe))));
    QVERIFY(checkReplyCrc(probe.send(readRequest(SessionRequest::ReadFe))));
}

void TstModuleModel::faultAnswersWithErrorOrRawBytes_data()
{
    QTest::addColumn<bool>("raw");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("error 0x04") << false << errorReply(0x10, 0x04);
    QTest::newRow("raw bytes") << true << QByteArray::fromHex("0110AB");
}

void TstModuleModel::faultAnswersWithErrorOrRawBytes()
{
    QFETCH(bool, raw);
    QFETCH(QByteArray, reply);
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    if (raw)
        probe.model.answerNextWithRaw(reply);
    else
        probe.model.answerNextWithError(0x04);
    const QByteArray write = buildSessionWriteRequest(SessionRequest::WriteSsid, "Changed");
    QCOMPARE(probe.send(write), reply);
    QCOMPARE(probe.model.ssid(), QStringLiteral("KB-R5530-0001")); // refused, not stored
    QCOMPARE(probe.send(write), writeReply(Registers::WIFI_SSID, 32));
    QCOMPARE(probe.model.ssid(), QStringLiteral("Changed"));
}

void TstModuleModel::faultNaksBlocks()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray file = patterned(256);
    probe.startLoading(file, probe.digestOf(file));
    const QList<QByteArray> blocks = cutIntoBlocks(file);
    probe.model.nakNextBlocks(2);
    QCOMPARE(probe.send(blocks.at(0)), QByteArray(1, Transfer::NAK));
    QCOMPARE(probe.send(blocks.at(0)), QByteArray(1, Transfer::NAK));
    QCOMPARE(probe.send(blocks.at(0)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.send(blocks.at(1)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.send(QByteArray(1, Transfer::EOT)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.model.uploadedImage(), file);
}

void TstModuleModel::faultAbortsTheUpgradeAfterABlock_data()
{
    QTest::addColumn<char>("signal");
    QTest::newRow("CAN instead of the ACK of block 1") << Transfer::CAN;
    QTest::newRow("EOT instead of the ACK of block 1") << Transfer::EOT;
}

void TstModuleModel::faultAbortsTheUpgradeAfterABlock()
{
    QFETCH(char, signal);
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray file = patterned(512);
    probe.startLoading(file, probe.digestOf(file));
    const QList<QByteArray> blocks = cutIntoBlocks(file);
    if (signal == Transfer::CAN)
        probe.model.sendCanAfterBlock(1);
    else
        probe.model.sendEotAfterBlock(1);
    QCOMPARE(probe.send(blocks.at(0)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.send(blocks.at(1)), QByteArray(1, signal));
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);
    // The tool answers the signal with ACK, which the module takes as noise.
    QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), QByteArray());
    QCOMPARE(probe.send(blocks.at(2)), QByteArray());
}

void TstModuleModel::faultAbortsTheLogUploadAfterABlock_data()
{
    QTest::addColumn<char>("signal");
    QTest::newRow("CAN instead of block 2") << Transfer::CAN;
    QTest::newRow("lone EOT instead of block 2") << Transfer::EOT;
}

void TstModuleModel::faultAbortsTheLogUploadAfterABlock()
{
    QFETCH(char, signal);
    ModuleConfig config = aesConfig();
    config.logContent = patterned(2148);
    Probe probe(config);
    QVERIFY(probe.login(OWN_PASSWORD));
    if (signal == Transfer::CAN)
        probe.model.sendCanAfterBlock(1);
    else
        probe.model.sendEotAfterBlock(1);
    probe.send(buildLogRequest());
    const QList<QByteArray> expected = cutIntoBlocks(config.logContent);
    QCOMPARE(probe.send(QByteArray(1, Transfer::READY)), expected.at(0));
    QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), expected.at(1));
    QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), QByteArray(1, signal));
    QCOMPARE(probe.send(QByteArray(1, Transfer::ACK)), QByteArray());
    QCOMPARE(probe.model.mode(), ModuleModel::Mode::Command);
}

void TstModuleModel::framesFedOneByteAtATime()
{
    ModuleConfig config = aesConfig();
    config.logContent = patterned(200);
    Probe probe(config);
    QCOMPARE(probe.send(loginRequest(OWN_PASSWORD, CredentialScheme::AesOnly), 1),
             writeReply(Registers::LOGIN_BLOCK, 64));
    const QByteArray wifi = probe.send(readRequest(SessionRequest::ReadWifi), 1);
    QCOMPARE(wifi.size(), 121);
    QVERIFY(checkReplyCrc(wifi));
    QCOMPARE(probe.send(buildSessionWriteRequest(SessionRequest::WriteWifiPassword, "Pw_12345"), 1),
             writeReply(Registers::WIFI_PASSWORD, 16));
    QCOMPARE(probe.model.wifiPassword(), QStringLiteral("Pw_12345"));

    const QByteArray file = patterned(1100);
    QCOMPARE(probe.send(buildStartLoadingRequest("fw.bin", 1100, probe.digestOf(file)), 1),
             QByteArray(1, Transfer::READY));
    for (const QByteArray &block : cutIntoBlocks(file))
        QCOMPARE(probe.send(block, 1), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.send(QByteArray(1, Transfer::EOT)), QByteArray(1, Transfer::ACK));
    QCOMPARE(probe.model.uploadedImage(), file);

    LogAnnouncement announced;
    QVERIFY(parseLogReply(probe.send(buildLogRequest(), 1), &announced));
    QCOMPARE(announced.size, 200);
}

void TstModuleModel::dropsPartialFramesAndResynchronises()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    const QByteArray read = readRequest(SessionRequest::ReadVersions);
    // Half a frame, then silence: dropped, so the next frame stands alone.
    QCOMPARE(probe.send(read.left(4)), QByteArray());
    probe.now += probe.model.config().frameSilenceMs;
    QCOMPARE(probe.send(read).size(), 9);
    // A frame failing its CRC right before a good one: only the good one is answered.
    QByteArray broken = read;
    broken[7] = char(broken.at(7) ^ 0x01);
    QCOMPARE(probe.send(broken + read).size(), 9);
    // Noise before a frame is skipped.
    QCOMPARE(probe.send(QByteArray::fromHex("FF0055") + read).size(), 9);
}

void TstModuleModel::recordsEveryUnitReceived()
{
    Probe probe(aesConfig());
    QVERIFY(probe.login(OWN_PASSWORD));
    probe.model.clearReceivedFrames();
    const QByteArray read = readRequest(SessionRequest::ReadFe);
    probe.send(read + buildLogoutRequest(), 3);
    QCOMPARE(probe.model.receivedFrames(), QList<QByteArray>({read, buildLogoutRequest()}));
    QCOMPARE(ModuleModel::describeRequest(readRequest(SessionRequest::ReadVersions)),
             QStringLiteral("read 0x0000 x2 (versions)"));
}

QTEST_GUILESS_MAIN(TstModuleModel)
#include "tst_modulemodel.moc"
