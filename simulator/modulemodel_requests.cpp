// The module simulator's requests: register reads, the settings writes, the
// login and the credential change.
#include "simulator/modulemodel.h"

#include "base/bytes.h"
#include "crypto/aescipher.h"
#include "crypto/credential.h"
#include "protocol/frame.h"
#include "simulator/modulemodel_names.h"

namespace
{

constexpr int MAX_READ_REGISTERS = 125; // the byte count of a read reply is one byte
constexpr int CREDENTIAL_REGISTERS = 64;

using ModuleNames::registerBlockName;
using ModuleNames::withName;

} // namespace

void ModuleModel::handleRead(const QByteArray &frame)
{
    const quint16 first = Bytes::read16(frame, 2);
    const quint16 count = Bytes::read16(frame, 4);
    if (!sessionAllows(Frame::FUNCTION_READ, false))
        return;
    if (count == 0 || count > MAX_READ_REGISTERS) {
        replyError(Frame::FUNCTION_READ, ErrorCode::ILLEGAL_VALUE);
        return;
    }
    if (int(first) + count > REGISTER_COUNT) {
        replyError(Frame::FUNCTION_READ, ErrorCode::ILLEGAL_ADDRESS);
        return;
    }
    QByteArray answer;
    answer.append(char(Frame::SLAVE_ADDRESS));
    answer.append(char(Frame::FUNCTION_READ));
    answer.append(char(count * 2));
    answer.append(registerBytes(first, count));
    appendCrc(answer);
    reply(answer,
          withName(
              QStringLiteral("read reply 0x%1 x%2").arg(first, 4, 16, QLatin1Char('0')).arg(count),
              registerBlockName(first, count)),
          true);
}

void ModuleModel::handleWrite(const QByteArray &frame)
{
    const quint16 first = Bytes::read16(frame, 2);
    const quint16 count = Bytes::read16(frame, 4);
    const int byteCount = quint8(frame.at(6));
    const QByteArray data = frame.mid(7, byteCount);
    if (count == 0 || byteCount != 2 * count) {
        replyError(Frame::FUNCTION_WRITE, ErrorCode::ILLEGAL_VALUE);
        return;
    }
    if (first == Registers::LOGIN_BLOCK) {
        if (count == CREDENTIAL_REGISTERS)
            handleLogin(data);
        else
            replyError(Frame::FUNCTION_WRITE, ErrorCode::ILLEGAL_VALUE);
        return;
    }
    if (first == Registers::LOGOUT_COMMAND) {
        if (count == 1 && Bytes::read16(data, 0) == 0x0001)
            endSession(); // logout is not answered
        else
            replyError(Frame::FUNCTION_WRITE, ErrorCode::ILLEGAL_VALUE);
        return;
    }
    if (first == Registers::CREDENTIAL_BLOCK) {
        if (!sessionAllows(Frame::FUNCTION_WRITE, false))
            return;
        if (count == CREDENTIAL_REGISTERS)
            handleCredentialChange(data);
        else
            replyError(Frame::FUNCTION_WRITE, ErrorCode::ILLEGAL_VALUE);
        return;
    }
    if (!sessionAllows(Frame::FUNCTION_WRITE, true))
        return;
    handleFieldWrite(first, count, data);
}

// The four settings the tool writes; every other address is refused.
void ModuleModel::handleFieldWrite(quint16 first, quint16 count, const QByteArray &data)
{
    struct Field {
        quint16 first;
        quint16 count;
    };
    static const Field writable[] = {
        {Registers::WIFI_SSID, Registers::SSID_FIELD_BYTES / 2},
        {Registers::WIFI_PASSWORD, Registers::WIFI_PASSWORD_FIELD_BYTES / 2},
        {Registers::WIFI_MAC, Registers::MAC_FIELD_BYTES / 2},
        {Registers::FE_MAC, Registers::MAC_FIELD_BYTES / 2},
    };
    for (const Field &field : writable) {
        if (field.first != first)
            continue;
        if (field.count != count) {
            replyError(Frame::FUNCTION_WRITE, ErrorCode::ILLEGAL_VALUE);
            return;
        }
        setRegisterBytes(first, data);
        const QByteArray answer = buildWriteReply(first, count);
        const QString meaning =
            withName(QStringLiteral("write reply"), registerBlockName(first, count));
        if (!faultDelaysWriteReply(first, answer, meaning))
            reply(answer, meaning, true);
        return;
    }
    replyError(Frame::FUNCTION_WRITE, ErrorCode::ILLEGAL_ADDRESS);
}

void ModuleModel::handleLogin(const QByteArray &data)
{
    endSession(); // a new attempt replaces whatever session there was
    if (accountLocked()) {
        replyError(Frame::FUNCTION_WRITE, ErrorCode::ACCOUNT_LOCKED);
        return;
    }
    const bool accountOk = data.left(64) == expectedField(settings.account);
    const bool passwordOk = data.mid(64, 64) == expectedPasswordField();
    if (!accountOk || !passwordOk) {
        ++failuresInRow;
        if (settings.lockAfterFailures > 0 && failuresInRow >= settings.lockAfterFailures) {
            locked = true;
            lockedSinceMs = clock();
            replyError(Frame::FUNCTION_WRITE, ErrorCode::ACCOUNT_LOCKED);
        } else {
            replyError(Frame::FUNCTION_WRITE, ErrorCode::WRONG_CREDENTIALS);
        }
        return;
    }
    failuresInRow = 0;
    lastActivityMs = clock();
    if (isFactoryPassword()) {
        session = Session::Restricted;
        replyError(Frame::FUNCTION_WRITE, ErrorCode::DEFAULT_PASSWORD);
        return;
    }
    session = Session::Full;
    reply(buildWriteReply(Registers::LOGIN_BLOCK, CREDENTIAL_REGISTERS),
          QStringLiteral("write reply (login accepted)"), true);
}

// The account cannot change: its field must be the current account's. The
// new password is kept as its field; under the AES-only scheme its text can
// be recovered, under the derived one it cannot.
void ModuleModel::handleCredentialChange(const QByteArray &data)
{
    if (data.left(64) != expectedField(settings.account)) {
        replyError(Frame::FUNCTION_WRITE, ErrorCode::WRONG_CREDENTIALS);
        return;
    }
    const QByteArray newField = data.mid(64, 64);
    passwordFieldScheme = scheme();
    if (passwordFieldScheme == CredentialScheme::AesOnly) {
        const QByteArray plain =
            AesCipher::decrypt(AesCipher::AES_128, AesCipher::CBC, newField, credentialAesKey(),
                               credentialIv(), AesCipher::ZERO);
        passwordText = QString::fromUtf8(AesCipher::stripPadding(plain, AesCipher::ZERO));
    } else {
        passwordText.clear();
    }
    passwordField = newField;
    endSession();
    reply(buildWriteReply(Registers::CREDENTIAL_BLOCK, CREDENTIAL_REGISTERS),
          QStringLiteral("write reply (credentials changed, session ended)"), true);
}
