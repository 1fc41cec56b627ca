#include "simulator/modulemodel.h"

#include "base/bytes.h"
#include "crypto/aescipher.h"
#include "crypto/credential.h"
#include "protocol/frame.h"

#include <QElapsedTimer>

#include <memory>

namespace
{

constexpr int MAX_KEPT_FRAMES = 10000;
constexpr int MAX_READ_REGISTERS = 125; // the byte count of a read reply is one byte
constexpr quint8 ERROR_FLAG = 0x80;
constexpr quint8 FUNCTION_TRANSFER = Transfer::FUNCTION_TRANSFER;
constexpr int CREDENTIAL_REGISTERS = 64;

using Bytes::bigEndian16;
using Bytes::bigEndian32;

QString errorName(quint8 code)
{
    switch (code) {
    case ErrorCode::ILLEGAL_FUNCTION:
        return QStringLiteral("illegal function");
    case ErrorCode::ILLEGAL_ADDRESS:
        return QStringLiteral("illegal data address");
    case ErrorCode::ILLEGAL_VALUE:
        return QStringLiteral("illegal data value");
    case ErrorCode::DEVICE_FAILURE:
        return QStringLiteral("device failure");
    case ErrorCode::WRONG_CREDENTIALS:
        return QStringLiteral("wrong account or password");
    case ErrorCode::LOGIN_TIMED_OUT:
        return QStringLiteral("session timed out");
    case ErrorCode::ACCOUNT_LOCKED:
        return QStringLiteral("account locked");
    case ErrorCode::ILLEGAL_OPERATION:
        return QStringLiteral("illegal operation");
    case ErrorCode::DEFAULT_PASSWORD:
        return QStringLiteral("factory password, change required");
    default:
        return QStringLiteral("unknown code");
    }
}

QString registerBlockName(quint16 first, quint16 count)
{
    struct Named {
        quint16 first;
        quint16 count;
        const char *name;
    };
    static const Named names[] = {
        {Registers::SOFTWARE_VERSION, 2, "versions"},
        {Registers::UART_BAUD_RATE, 5, "RS-485"},
        {Registers::WIFI_SSID, 58, "Wi-Fi"},
        {Registers::FE_IP, 7, "FE"},
        {Registers::WIFI_SSID, 32, "SSID"},
        {Registers::WIFI_PASSWORD, 16, "Wi-Fi password"},
        {Registers::WIFI_MAC, 3, "Wi-Fi MAC"},
        {Registers::FE_MAC, 3, "FE MAC"},
        {Registers::LOGIN_BLOCK, 64, "login"},
        {Registers::CREDENTIAL_BLOCK, 64, "credential change"},
        {Registers::LOGOUT_COMMAND, 1, "logout"},
    };
    for (const Named &named : names) {
        if (named.first == first && named.count == count)
            return QString::fromLatin1(named.name);
    }
    return QString();
}

QString withName(const QString &text, const QString &name)
{
    return name.isEmpty() ? text : text + QStringLiteral(" (") + name + QLatin1Char(')');
}

QString signalName(char signal)
{
    switch (signal) {
    case Transfer::EOT:
        return QStringLiteral("EOT");
    case Transfer::ACK:
        return QStringLiteral("ACK");
    case Transfer::NAK:
        return QStringLiteral("NAK");
    case Transfer::CAN:
        return QStringLiteral("CAN");
    case Transfer::READY:
        return QStringLiteral("C (ready)");
    default:
        return QStringLiteral("byte 0x%1").arg(quint8(signal), 2, 16, QLatin1Char('0'));
    }
}

// A log of plain text lines, exactly `size` bytes long.
QByteArray generatedLog(int size)
{
    QByteArray text;
    text.reserve(size + 100);
    for (int line = 1; text.size() < size; ++line) {
        text +=
            QStringLiteral("2024-05-01 08:%1:%2 [INFO] KB-R5530 line %3: link up, rssi -%4 dBm\n")
                .arg(line / 60 % 60, 2, 10, QLatin1Char('0'))
                .arg(line % 60, 2, 10, QLatin1Char('0'))
                .arg(line, 5, 10, QLatin1Char('0'))
                .arg(40 + line % 30)
                .toLatin1();
    }
    return text.left(qMax(0, size));
}

} // namespace

ModuleModel::ModuleModel(const ModuleConfig &config, QObject *parent)
    : QObject(parent), settings(config)
{
    setClock(Clock());
    loadDefaults();
    passwordText = settings.loginPassword;
    logFile = settings.logContent.isEmpty() ? generatedLog(settings.logSize) : settings.logContent;
    prepareCredentialFields();
}

void ModuleModel::setClock(Clock replacement)
{
    if (!replacement) {
        auto steady = std::make_shared<QElapsedTimer>();
        steady->start();
        replacement = [steady] { return steady->elapsed(); };
    }
    clock = std::move(replacement);
    lastInputMs = lastActivityMs = lockedSinceMs = clock();
}

// Derived credential fields cost a key derivation each; work them out before
// a login arrives, so that the module answers within the tool's time limit
// even on a slow (instrumented) build.
void ModuleModel::prepareCredentialFields()
{
    expectedField(settings.account);
    expectedField(settings.factoryPassword);
    expectedPasswordField();
}

void ModuleModel::loadDefaults()
{
    store = QByteArray(REGISTER_COUNT * 2, '\0');
    setRegisterBytes(Registers::SOFTWARE_VERSION, bigEndian16(quint16(settings.softwareVersion)));
    setRegisterBytes(Registers::HARDWARE_VERSION, bigEndian16(quint16(settings.hardwareVersion)));
    setRegisterBytes(Registers::UART_BAUD_RATE, bigEndian32(115200));
    setRegisterBytes(Registers::UART_DATA_BITS, bigEndian16(8));
    setRegisterBytes(Registers::UART_STOP_BITS, bigEndian16(1));
    setRegisterBytes(Registers::UART_PARITY, bigEndian16(0));
    setSsid(QStringLiteral("KB-R5530-0001"));
    setRegisterBytes(Registers::WIFI_CHANNEL, bigEndian16(6));
    setRegisterBytes(Registers::WIFI_BAND_WIDTH, bigEndian16(20));
    setRegisterBytes(Registers::WIFI_ENCRYPTION, bigEndian16(2));
    setWifiPassword(QStringLiteral("Initpass_456"));
    setRegisterBytes(Registers::WIFI_IP, QByteArray::fromHex("C0A80401"));
    setRegisterBytes(Registers::WIFI_MASK, QByteArray::fromHex("FFFFFF00"));
    setRegisterBytes(Registers::WIFI_MAC, QByteArray::fromHex("024B52553001"));
    setRegisterBytes(Registers::FE_IP, QByteArray::fromHex("C0A80164"));
    setRegisterBytes(Registers::FE_MASK, QByteArray::fromHex("FFFFFF00"));
    setRegisterBytes(Registers::FE_MAC, QByteArray::fromHex("024B52553002"));
}

// ---- input framing ---------------------------------------------------------

void ModuleModel::feed(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 now = clock();
    if (!input.isEmpty() && now - lastInputMs >= settings.frameSilenceMs)
        silenceElapsed();
    lastInputMs = now;
    input.append(bytes);
    parseInput();
}

void ModuleModel::parseInput()
{
    for (;;) {
        if (input.isEmpty())
            break;
        int taken = 0;
        if (currentMode == Mode::ReceivingUpgrade)
            taken = takeUpgradeUnit();
        else if (currentMode == Mode::SendingLog && input.at(0) != char(Frame::SLAVE_ADDRESS))
            taken = takeLogSignal();
        else
            taken = takeCommandUnit();
        if (taken == 0)
            break; // wait for more bytes
        input.remove(0, taken);
    }
}

// Frames start with the slave address: reads are 8 bytes, writes 9 + n,
// transfer frames 6 + N. Returns the bytes consumed, 0 while incomplete.
int ModuleModel::takeCommandUnit()
{
    const char first = input.at(0);
    if (first == Transfer::CAN) {
        takeUnit(input.left(1));
        return 1;
    }
    if (first != char(Frame::SLAVE_ADDRESS))
        return 1; // noise, or a late signal of a finished transfer
    if (input.size() < 2)
        return 0;
    const quint8 function = quint8(input.at(1));
    int length = 0;
    if (function == Frame::FUNCTION_READ) {
        length = Frame::READ_REQUEST_LENGTH;
    } else if (function == Frame::FUNCTION_WRITE) {
        if (input.size() < 7)
            return 0;
        length = 7 + quint8(input.at(6)) + Frame::CRC_LENGTH;
    } else if (function == FUNCTION_TRANSFER) {
        if (input.size() < Transfer::TRANSFER_HEADER)
            return 0;
        length = Transfer::TRANSFER_HEADER + quint8(input.at(3)) + Frame::CRC_LENGTH;
    } else {
        return 0; // unknown length: the frame ends with the silence (silenceElapsed)
    }
    if (input.size() < length)
        return 0;
    const QByteArray frame = input.left(length);
    if (!checkReplyCrc(frame))
        return 1; // resynchronise on the next slave address
    takeUnit(frame);
    return length;
}

int ModuleModel::takeUpgradeUnit()
{
    const char first = input.at(0);
    const int blockLength = transferBlockLength(first);
    if (blockLength > 0) {
        if (input.size() < blockLength)
            return 0;
        takeUnit(input.left(blockLength));
        return blockLength;
    }
    if (first == Transfer::EOT || first == Transfer::CAN)
        takeUnit(input.left(1));
    return 1;
}

int ModuleModel::takeLogSignal()
{
    const char signal = input.at(0);
    if (signal == Transfer::READY || signal == Transfer::ACK || signal == Transfer::NAK ||
        signal == Transfer::CAN)
        takeUnit(input.left(1));
    return 1;
}

// A frame cut short is dropped; a block cut short is asked for again. A
// frame of an unknown function ends here: it is refused when its last two
// bytes are the CRC of the rest, and dropped as noise otherwise.
void ModuleModel::silenceElapsed()
{
    if (input.isEmpty())
        return;
    const QByteArray partial = input;
    input.clear();
    if (currentMode == Mode::ReceivingUpgrade) {
        if (transferBlockLength(partial.at(0)) > 0) {
            emit requestTaken(partial,
                              QStringLiteral("incomplete block (%1 bytes)").arg(partial.size()));
            replySignal(Transfer::NAK);
        }
        return;
    }
    if (partial.size() >= 2 && partial.at(0) == char(Frame::SLAVE_ADDRESS)) {
        const quint8 function = quint8(partial.at(1));
        if (function != Frame::FUNCTION_READ && function != Frame::FUNCTION_WRITE &&
            function != FUNCTION_TRANSFER && checkReplyCrc(partial)) {
            takeUnit(partial);
            return;
        }
    }
    emit requestTaken(partial, QStringLiteral("incomplete frame dropped"));
}

// ---- dispatch --------------------------------------------------------------

void ModuleModel::takeUnit(const QByteArray &unit)
{
    received.append(unit);
    if (received.size() > MAX_KEPT_FRAMES)
        received.removeFirst();
    emit requestTaken(unit, describeRequest(unit));
    if (session != Session::None && sessionAllows(0, false))
        lastActivityMs = clock();

    const bool isFrame = unit.size() >= 2 && unit.at(0) == char(Frame::SLAVE_ADDRESS) &&
                         currentMode != Mode::ReceivingUpgrade;
    const quint8 function = isFrame ? quint8(unit.at(1)) : FUNCTION_TRANSFER;
    if (applyRequestFault(function))
        return;

    if (isFrame) {
        handleFrame(unit);
    } else if (currentMode == Mode::ReceivingUpgrade) {
        if (unit.size() > 1)
            handleUpgradeBlock(unit);
        else if (unit.at(0) == Transfer::EOT)
            finishUpgrade();
        else
            handleLogSignal(Transfer::CAN);
    } else {
        handleLogSignal(unit.at(0));
    }
}

bool ModuleModel::applyRequestFault(quint8 function)
{
    if (rawPending) {
        rawPending = false;
        reply(pendingRaw, QStringLiteral("injected raw bytes"), false);
        return true;
    }
    if (errorPending) {
        errorPending = false;
        replyError(function, pendingError);
        return true;
    }
    return false;
}

void ModuleModel::handleFrame(const QByteArray &frame)
{
    // A valid frame during a log upload means the tool has moved on.
    if (currentMode == Mode::SendingLog)
        enterCommandMode();
    const quint8 function = quint8(frame.at(1));
    if (function == Frame::FUNCTION_READ)
        handleRead(frame);
    else if (function == Frame::FUNCTION_WRITE)
        handleWrite(frame);
    else if (function == FUNCTION_TRANSFER)
        handleTransferRequest(frame);
    else
        replyError(function, ErrorCode::ILLEGAL_FUNCTION);
}

// Outside a session every request but login is an illegal operation; a
// session idle for longer than its time-out ends with 0x13, and every request
// after it is answered 0x13 as well until the next login. A restricted
// session (factory password) allows only what needsFullSession is false for.
// With function 0 only the time-out is looked at, and nothing is sent.
bool ModuleModel::sessionAllows(quint8 function, bool needsFullSession)
{
    const bool expired =
        session != Session::None && clock() - lastActivityMs > settings.sessionTimeoutMs;
    if (function == 0)
        return !expired;
    if (session == Session::None) {
        replyError(function,
                   sessionTimedOut ? ErrorCode::LOGIN_TIMED_OUT : ErrorCode::ILLEGAL_OPERATION);
        return false;
    }
    if (expired) {
        endSession();
        sessionTimedOut = true;
        replyError(function, ErrorCode::LOGIN_TIMED_OUT);
        return false;
    }
    if (needsFullSession && session == Session::Restricted) {
        endSession();
        replyError(function, ErrorCode::ILLEGAL_OPERATION);
        return false;
    }
    return true;
}

// ---- reads and writes ------------------------------------------------------

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
        reply(buildWriteReply(first, count),
              withName(QStringLiteral("write reply"), registerBlockName(first, count)), true);
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

// ---- replies and faults ----------------------------------------------------

void ModuleModel::reply(const QByteArray &bytes, const QString &meaning, bool carriesCrc)
{
    if (repliesToDrop > 0) {
        --repliesToDrop;
        emit replyMade(bytes, meaning + QStringLiteral(" [dropped]"));
        return;
    }
    if (carriesCrc && repliesToCorrupt > 0 && bytes.size() >= 3) {
        --repliesToCorrupt;
        QByteArray corrupted = bytes;
        corrupted[corrupted.size() - 1] = char(corrupted.at(corrupted.size() - 1) ^ 0x5A);
        emit replyMade(corrupted, meaning + QStringLiteral(" [CRC corrupted]"));
        emit output(corrupted);
        return;
    }
    emit replyMade(bytes, meaning);
    emit output(bytes);
}

void ModuleModel::replyError(quint8 function, quint8 code)
{
    QByteArray answer;
    answer.append(char(Frame::SLAVE_ADDRESS));
    answer.append(char(function | ERROR_FLAG));
    answer.append(char(code));
    reply(answer,
          QStringLiteral("error 0x%1 (%2)").arg(code, 2, 16, QLatin1Char('0')).arg(errorName(code)),
          false);
}

void ModuleModel::replySignal(char signal)
{
    reply(QByteArray(1, signal), signalName(signal), false);
}

void ModuleModel::dropNextReply()
{
    ++repliesToDrop;
}

void ModuleModel::corruptNextReplies(int count)
{
    repliesToCorrupt = qMax(0, count);
}

void ModuleModel::answerNextWithError(quint8 code)
{
    errorPending = true;
    pendingError = code;
}

void ModuleModel::answerNextWithRaw(const QByteArray &raw)
{
    rawPending = true;
    pendingRaw = raw;
}

void ModuleModel::nakNextBlocks(int count)
{
    blocksToNak = qMax(0, count);
}

void ModuleModel::sendCanAfterBlock(int index)
{
    abortAfterIndex = index;
    abortSignal = Transfer::CAN;
}

void ModuleModel::sendEotAfterBlock(int index)
{
    abortAfterIndex = index;
    abortSignal = Transfer::EOT;
}

void ModuleModel::clearFaults()
{
    repliesToDrop = repliesToCorrupt = blocksToNak = 0;
    errorPending = rawPending = false;
    abortAfterIndex = -1;
    clearTransferFaults();
}

void ModuleModel::restart()
{
    endSession();
    locked = false;
    failuresInRow = 0;
    input.clear();
    if (currentMode == Mode::ReceivingUpgrade)
        image.clear();
    enterCommandMode();
    clearFaults();
}

// ---- traces ----------------------------------------------------------------

QString ModuleModel::describeRequest(const QByteArray &unit)
{
    if (unit.isEmpty())
        return QString();
    if (unit.size() == 1)
        return signalName(unit.at(0));
    if (unit.size() == Transfer::LARGE_BLOCK_LENGTH ||
        unit.size() == Transfer::SMALL_BLOCK_LENGTH) {
        if (transferBlockLength(unit.at(0)) == unit.size())
            return QStringLiteral("block %1 (%2 data bytes)")
                .arg(quint8(unit.at(1)))
                .arg(unit.size() - Transfer::BLOCK_OVERHEAD);
    }
    const quint8 function = quint8(unit.at(1));
    if ((function == Frame::FUNCTION_READ || function == Frame::FUNCTION_WRITE) &&
        unit.size() >= 6) {
        const quint16 first = Bytes::read16(unit, 2);
        const quint16 count = Bytes::read16(unit, 4);
        const QString verb =
            function == Frame::FUNCTION_READ ? QStringLiteral("read") : QStringLiteral("write");
        return withName(
            QStringLiteral("%1 0x%2 x%3").arg(verb).arg(first, 4, 16, QLatin1Char('0')).arg(count),
            registerBlockName(first, count));
    }
    if (function == FUNCTION_TRANSFER && unit.size() >= 3) {
        LoadingAnnouncement announced;
        if (parseStartLoadingRequest(unit, &announced))
            return QStringLiteral("start loading %1, %2 bytes, digest %3")
                .arg(QString::fromLocal8Bit(announced.encodedName))
                .arg(announced.size)
                .arg(QString::fromLatin1(announced.digest));
        if (unit == buildLogRequest())
            return QStringLiteral("log request");
        return QStringLiteral("transfer request kind 0x%1")
            .arg(quint8(unit.at(2)), 2, 16, QLatin1Char('0'));
    }
    return QStringLiteral("function 0x%1 (unknown)").arg(function, 2, 16, QLatin1Char('0'));
}
