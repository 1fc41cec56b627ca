// The module simulator's core: construction, the framing of the input (frames,
// blocks and single-byte signals in any pieces), the dispatch of complete
// units and the session rules.
#include "simulator/modulemodel.h"

#include "base/bytes.h"
#include "protocol/frame.h"

#include <QElapsedTimer>

#include <memory>

namespace
{

constexpr int MAX_KEPT_FRAMES = 10000;
constexpr quint8 FUNCTION_TRANSFER = Transfer::FUNCTION_TRANSFER;

using Bytes::bigEndian16;
using Bytes::bigEndian32;

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
    if (awaitingSilence() && now - lastInputMs >= silenceMs())
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

// A block under way waits longer for its rest than a frame does: the tool
// writes a block at once, but a loaded machine may pass it on in pieces.
int ModuleModel::silenceMs() const
{
    const bool blockUnderWay = currentMode == Mode::ReceivingUpgrade && !input.isEmpty() &&
                               transferBlockLength(input.at(0)) > 0;
    return blockUnderWay ? settings.blockSilenceMs : settings.frameSilenceMs;
}

// Blocks by their length, EOT and CAN alone. Out of step (after a block cut
// short, or bytes that start no unit) only a block that passes its check
// counts; the bytes before it are dropped, and a lone signal waits for the
// silence (see upgradeSilence), as the rest of a broken block may hold any
// byte.
int ModuleModel::takeUpgradeUnit()
{
    const char first = input.at(0);
    const int blockLength = transferBlockLength(first);
    if (blockLength > 0) {
        const bool numbered = input.size() < 3 || quint8(input.at(2)) == quint8(~input.at(1));
        if (outOfStep && !numbered)
            return dropStray();
        if (input.size() < blockLength)
            return 0;
        const QByteArray block = input.left(blockLength);
        if (outOfStep && !parseTransferBlock(block, nullptr, nullptr))
            return dropStray();
        backInStep();
        takeUnit(block);
        return blockLength;
    }
    const bool signal = first == Transfer::EOT || first == Transfer::CAN;
    if (signal && !outOfStep) {
        takeUnit(input.left(1));
        return 1;
    }
    return signal && input.size() == 1 ? 0 : dropStray();
}

int ModuleModel::dropStray()
{
    outOfStep = true;
    ++strayBytes;
    return 1;
}

void ModuleModel::backInStep()
{
    outOfStep = false;
    if (strayBytes > 0)
        emit requestTaken(QByteArray(), QStringLiteral("%1 stray bytes dropped").arg(strayBytes));
    strayBytes = 0;
}

// The line is quiet during an upgrade. A block cut short is asked for again,
// and its rest, should it still come, is stray. A signal held back while out
// of step counts now if it is CAN (the tool gives up); EOT follows only an
// ACK, which an out-of-step module has not given.
void ModuleModel::upgradeSilence(const QByteArray &partial)
{
    const bool wasOutOfStep = outOfStep;
    backInStep();
    if (partial.isEmpty())
        return;
    if (transferBlockLength(partial.at(0)) > 0) {
        emit requestTaken(partial,
                          QStringLiteral("incomplete block (%1 bytes)").arg(partial.size()));
        outOfStep = true;
        replySignal(Transfer::NAK);
    } else if (partial == QByteArray(1, Transfer::CAN) ||
               (!wasOutOfStep && partial == QByteArray(1, Transfer::EOT))) {
        takeUnit(partial);
    } else {
        emit requestTaken(partial, QStringLiteral("stray byte dropped"));
    }
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
    if (!awaitingSilence())
        return;
    const QByteArray partial = input;
    input.clear();
    if (currentMode == Mode::ReceivingUpgrade) {
        upgradeSilence(partial);
        return;
    }
    outOfStep = false;
    if (partial.isEmpty())
        return;
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

void ModuleModel::restart()
{
    endSession();
    locked = false;
    failuresInRow = 0;
    input.clear();
    outOfStep = false;
    strayBytes = 0;
    if (currentMode == Mode::ReceivingUpgrade)
        image.clear();
    enterCommandMode();
    clearFaults();
}
