// The session engine: the exchanges, the login and credential change, the
// reads, the settings writes and the logout.
#include "session/modulesession.h"

#include "base/logging.h"
#include "protocol/settingsfields.h"

#include <QDebug>

void SessionObserver::readRepeated(SessionRequest, int) {}
void SessionObserver::credentialFellBack(SessionRequest, quint8) {}
void SessionObserver::blockSent(int, int, int, qint64) {}
void SessionObserver::imageSent(qint64) {}
void SessionObserver::logPassEmpty() {}
void SessionObserver::logBlockRefused(int) {}
void SessionObserver::logBlockWritten(qint64, qint64) {}

namespace
{

// The trace prefixes of a read's request and reply.
struct ReadTraces {
    const char *request;
    const char *reply;
};

ReadTraces tracesFor(SessionRequest request)
{
    switch (request) {
    case SessionRequest::ReadVersions:
        return {"GET_VERSION:", "VERSION:"};
    case SessionRequest::ReadUart:
        return {"GET_UART:", "UART:"};
    case SessionRequest::ReadWifi:
        return {"GET_WIFI:", "WIFI:"};
    default:
        return {"GET_FE:", "FE:"};
    }
}

StepResult stepOf(const QByteArray &reply)
{
    StepResult result;
    switch (classifyReply(reply)) {
    case ReplyKind::Nothing:
        result.outcome = StepOutcome::TimedOut;
        break;
    case ReplyKind::ErrorReply:
        result.outcome = StepOutcome::ErrorReply;
        result.errorCode = errorCodeOf(reply);
        break;
    case ReplyKind::ChecksumFailure:
        result.outcome = StepOutcome::ChecksumFailure;
        break;
    case ReplyKind::Accepted:
        result.outcome = StepOutcome::Done;
        break;
    }
    return result;
}

StepResult refused()
{
    StepResult result;
    result.outcome = StepOutcome::Refused;
    return result;
}

} // namespace

ModuleSession::ModuleSession(SessionLink *link, SessionObserver *observer, const CancelFlag *cancel)
    : link(link), observer(observer ? observer : &silent), cancel(cancel)
{
}

CredentialScheme ModuleSession::credentialScheme() const
{
    return credentialSchemeFor(version);
}

WaitEnd ModuleSession::await(const LinkWait &wait)
{
    const WaitEnd end = link->waitFor(wait);
    lineLost = end == WaitEnd::LinkLost;
    return end;
}

// The outcome of an exchange's reply, or LinkLost when its wait ended so.
StepResult ModuleSession::judged(const QByteArray &reply) const
{
    if (!lineLost)
        return stepOf(reply);
    StepResult result;
    result.outcome = StepOutcome::LinkLost;
    return result;
}

// Sends `frame` to an empty receive side and waits for more than `moreThan`
// bytes or the limit; the pieces received meanwhile.
ReadPieces ModuleSession::exchange(const QByteArray &frame, int moreThan, int limitMs)
{
    link->take();
    link->write(frame);
    LinkWait wait;
    wait.moreThan = moreThan;
    wait.limitMs = limitMs;
    await(wait);
    return link->take();
}

ReadPieces ModuleSession::exchange(SessionRequest request, const QByteArray &frame)
{
    return exchange(frame, replyThreshold(request), sessionRequestSpec(request).timeLimitMs);
}

CredentialResult ModuleSession::login(const QString &account, const QString &password)
{
    return sendWithFallback(SessionRequest::Login, account, password);
}

CredentialResult ModuleSession::loginWith(const QString &account, const QString &password,
                                          CredentialScheme scheme)
{
    return sendCredentials(SessionRequest::Login, account, password, scheme);
}

CredentialResult ModuleSession::changeCredentials(const QString &account, const QString &password)
{
    return sendWithFallback(SessionRequest::ChangeCredentials, account, password);
}

CredentialResult ModuleSession::changeCredentialsWith(const QString &account,
                                                      const QString &password,
                                                      CredentialScheme scheme)
{
    return sendCredentials(SessionRequest::ChangeCredentials, account, password, scheme);
}

// The scheme the version chooses; a derived-scheme request refused with an
// error reply goes out again under the AES-only scheme, except a login
// answered with 0x16 (the factory password, which the caller must handle).
CredentialResult ModuleSession::sendWithFallback(SessionRequest request, const QString &account,
                                                 const QString &password)
{
    if (credentialScheme() == CredentialScheme::AesOnly)
        return sendCredentials(request, account, password, CredentialScheme::AesOnly);
    const CredentialResult derived =
        sendCredentials(request, account, password, CredentialScheme::Derived);
    if (derived.outcome != StepOutcome::ErrorReply)
        return derived;
    if (request == SessionRequest::Login && derived.errorCode == ErrorCode::DEFAULT_PASSWORD)
        return derived;
    observer->credentialFellBack(request, derived.errorCode);
    CredentialResult fallback =
        sendCredentials(request, account, password, CredentialScheme::AesOnly);
    fallback.fellBack = true;
    return fallback;
}

CredentialResult ModuleSession::sendCredentials(SessionRequest request, const QString &account,
                                                const QString &password, CredentialScheme scheme)
{
    const QByteArray data = credentialRequestData(account, password, scheme);
    CredentialResult result;
    result.scheme = scheme;
    if (data.isEmpty()) { // the derivation found no memory: nothing is sent
        result.outcome = StepOutcome::Refused;
        return result;
    }
    const bool isLogin = request == SessionRequest::Login;
    const QByteArray id = data.left(CREDENTIAL_FIELD_LENGTH);
    const QByteArray key = data.mid(CREDENTIAL_FIELD_LENGTH);
    qCDebug(lcCrypto).noquote() << QString::fromUtf8(isLogin ? "id密文：" : "修改的id密文：")
                                << hexUpper(id) << id.size();
    qCDebug(lcCrypto).noquote() << QString::fromUtf8(isLogin ? "key密文：" : "修改的key密文：")
                                << hexUpper(key) << key.size();
    const QByteArray reply = joinPieces(exchange(request, buildSessionWriteRequest(request, data)));
    static_cast<StepResult &>(result) = judged(reply);
    return result;
}

// One read with its repeats. An accepted reply shorter than its block counts
// as a checksum failure, so no decoder reads past the received bytes.
StepResult ModuleSession::readBlock(SessionRequest request, QByteArray *reply)
{
    const ReadTraces traces = tracesFor(request);
    const QByteArray frame = buildSessionReadRequest(request);
    const int blockLength = sessionRequestSpec(request).replyBytes;
    for (int repeat = 0;; ++repeat) {
        qCDebug(lcProtocol).noquote() << traces.request << hexUpper(frame);
        *reply = joinPieces(exchange(request, frame));
        qCDebug(lcProtocol).noquote() << traces.reply << replyTraceHex(request, *reply);
        StepResult result = judged(*reply);
        if (result.ok() && reply->size() < blockLength)
            result.outcome = StepOutcome::ChecksumFailure;
        if (result.outcome != StepOutcome::ChecksumFailure || repeat >= Session::MAX_READ_REPEATS)
            return result;
        observer->readRepeated(request, repeat + 1);
    }
}

StepResult ModuleSession::readVersions(VersionInfo *out)
{
    QByteArray reply;
    const StepResult result = readBlock(SessionRequest::ReadVersions, &reply);
    if (result.ok() && decodeVersionReply(reply, out))
        version = QString::number(out->software);
    return result;
}

StepResult ModuleSession::readUart(UartInfo *out)
{
    QByteArray reply;
    const StepResult result = readBlock(SessionRequest::ReadUart, &reply);
    if (result.ok())
        decodeUartReply(reply, out);
    return result;
}

StepResult ModuleSession::readWifi(WifiInfo *out)
{
    QByteArray reply;
    const StepResult result = readBlock(SessionRequest::ReadWifi, &reply);
    if (result.ok())
        decodeWifiReply(reply, out);
    return result;
}

StepResult ModuleSession::readFe(FeInfo *out)
{
    QByteArray reply;
    const StepResult result = readBlock(SessionRequest::ReadFe, &reply);
    if (result.ok())
        decodeFeReply(reply, out);
    return result;
}

RefreshResult ModuleSession::refresh(DeviceInfo *out)
{
    RefreshResult result;
    const auto step = [&](SessionRequest request, StepResult read) {
        static_cast<StepResult &>(result) = read;
        result.failedRead = request;
        if (read.ok())
            ++result.blocksRead;
        return read.ok();
    };
    if (step(SessionRequest::ReadVersions, readVersions(&out->version)) &&
        step(SessionRequest::ReadUart, readUart(&out->uart)) &&
        step(SessionRequest::ReadWifi, readWifi(&out->wifi)))
        step(SessionRequest::ReadFe, readFe(&out->fe));
    return result;
}

StepResult ModuleSession::writeField(SessionRequest request, const QByteArray &field)
{
    return judged(joinPieces(exchange(request, buildSessionWriteRequest(request, field))));
}

StepResult ModuleSession::writeSsid(const QString &ssid)
{
    if (!ssidFits(ssid))
        return refused();
    const QByteArray encoded = encodeLocalText(ssid);
    qCDebug(lcProtocol).noquote() << "SSID_Value:" << hexUpper(encoded) << ssid;
    return writeField(SessionRequest::WriteSsid, encoded);
}

StepResult ModuleSession::writeWifiPassword(const QString &password)
{
    if (!fitsTextField(password, Registers::WIFI_PASSWORD_FIELD_BYTES))
        return refused();
    return writeField(SessionRequest::WriteWifiPassword, encodeLocalText(password));
}

StepResult ModuleSession::writeWifiMac(const QString &mac)
{
    const QByteArray field = macFieldFromText(mac);
    return field.isEmpty() ? refused() : writeField(SessionRequest::WriteWifiMac, field);
}

StepResult ModuleSession::writeFeMac(const QString &mac)
{
    const QByteArray field = macFieldFromText(mac);
    return field.isEmpty() ? refused() : writeField(SessionRequest::WriteFeMac, field);
}

bool ModuleSession::logout()
{
    const QByteArray frame = buildLogoutRequest();
    link->take();
    const bool written = link->write(frame);
    qCDebug(lcProtocol).noquote() << QStringLiteral("注销请求：") << hexUpper(frame);
    return written;
}
