#pragma once

// A stand-in for the module at the far end of the debug line, without any
// transport: the tool's bytes go in through feed(), in pieces of any size,
// and the module's answers come out through output(). It keeps the register
// store, the login session, the lock-out, a firmware upgrade in progress and
// a log upload, and can be told to misbehave (faults, one call each) so the
// tool's error paths can be driven. Its members are split by concern:
// modulemodel.cpp (framing, dispatch, session rules), modulemodel_requests.cpp
// (reads, writes, login, credential change), modulemodel_replies.cpp (replies,
// faults, traces), modulemodel_transfer.cpp (upgrade and log upload),
// modulemodel_transferfaults.cpp, modulemodel_store.cpp (registers and
// credentials). It needs no event loop (the faults that send a reply late
// aside): time comes from a clock that can be
// replaced (setClock), and the end of a partial frame is told to it
// (silenceElapsed) by whoever watches the line, or noticed when the next
// bytes come after a long enough pause.

#include "crypto/credential.h"
#include "protocol/frame.h"
#include "transfer/transferframes.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// How the module is set up at power-on.
struct ModuleConfig {
    int softwareVersion = 125; // up to 124: AES-only credentials and SHA-1 digests
    int hardwareVersion = 3;
    QString account = QStringLiteral("admin");
    QString loginPassword = QString::fromLatin1(ModuleLine::FACTORY_PASSWORD);
    QString factoryPassword =
        QString::fromLatin1(ModuleLine::FACTORY_PASSWORD); // a login with it answers 0x16
    int sessionTimeoutMs = 300000;                         // idle time that ends a session
    int lockAfterFailures = 3;    // wrong logins in a row that lock the account; 0 never locks
    bool lockUntilRestart = true; // false: the lock lasts lockDurationMs
    int lockDurationMs = 60000;
    QString logFileName = QStringLiteral("sys.log");
    QByteArray logContent; // the log file; when empty, generated text of logSize bytes
    int logSize = 5000;
    int frameSilenceMs = 50;   // a partial frame is dropped after this much silence
    int blockSilenceMs = 1000; // a partial upgrade block is refused after this much
};

class ModuleModel : public QObject
{
    Q_OBJECT

public:
    enum class Mode {
        Command,          // requests and replies (with or without a session)
        ReceivingUpgrade, // after "C" to a start-loading request: blocks, EOT, CAN
        SendingLog,       // after the log reply: "C", ACK, NAK, CAN from the tool
    };

    explicit ModuleModel(const ModuleConfig &config = ModuleConfig(), QObject *parent = nullptr);

    // Milliseconds on a monotonic clock: the model's only source of time
    // (frame silence, session time-out, lock duration). The default is a
    // steady clock; tests and fuzz targets put in one they drive themselves.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    qint64 nowMs() const { return clock(); }

    // Bytes from the tool, in any pieces. Complete frames are answered at
    // once (output() is emitted before feed() returns); a partial frame waits
    // for the rest. Bytes that come after the silence (frameSilenceMs, or
    // blockSilenceMs while an upgrade block is under way) first end the
    // partial frame, as silenceElapsed() does.
    void feed(const QByteArray &bytes);

    // The line has been quiet for the silence: a partial frame is dropped
    // (or refused, when it is a whole frame of an unknown function), a block
    // cut short is answered with NAK, and an upgrade whose input lost its
    // framing is back in step. Does nothing when awaitingSilence() is false.
    void silenceElapsed();
    // Whether a partial unit (or input out of step) waits for more bytes or
    // for the silence, and the clock time at which that silence is complete.
    bool awaitingSilence() const { return !input.isEmpty() || outOfStep; }
    qint64 silenceDueMs() const { return lastInputMs + silenceMs(); }

    // Power cycle: the session, the lock-out, a transfer in progress, partial
    // input and pending faults are gone; registers and login password stay.
    void restart();

    const ModuleConfig &config() const { return settings; }
    Mode mode() const { return currentMode; }

    // The register store, two bytes per register from 0x0000 to 0x00FD.
    // Ranges are clipped to the map: registerBytes answers only the part
    // inside it, setRegisterBytes ignores bytes beyond its end.
    QByteArray registerBytes(quint16 first, quint16 count) const;
    void setRegisterBytes(quint16 first, const QByteArray &bytes);
    static constexpr int REGISTER_COUNT = 0x00FE;

    // Text fields up to their first zero byte (local 8-bit encoding, as the
    // tool writes them); setters zero-fill or cut to the field width.
    QString ssid() const;
    void setSsid(const QString &text);
    QString wifiPassword() const;
    void setWifiPassword(const QString &text);
    QByteArray wifiMac() const;
    QByteArray feMac() const;

    // The login password in clear when the module knows it: the configured
    // one, one set here, or one changed under the AES-only scheme. After a
    // change under the derived scheme only its credential field is kept and
    // this answers an empty text; acceptsLoginPassword() still tells.
    QString loginPassword() const;
    void setLoginPassword(const QString &text);
    bool acceptsLoginPassword(const QString &text);

    bool sessionOpen() const { return session != Session::None; }
    bool sessionRestricted() const { return session == Session::Restricted; }
    bool accountLocked() const;
    int failedLogins() const { return failuresInRow; }

    // The image of the last upgrade, cut to its announced size once EOT came;
    // empty after a CAN. upgradeVerified() tells whether its EOT was ACKed.
    QByteArray uploadedImage() const { return image; }
    bool upgradeVerified() const { return imageVerified; }
    LoadingAnnouncement lastAnnouncement() const { return announcement; }

    // The log file as the module serves it.
    QByteArray logContent() const { return logFile; }

    // Every complete unit received (frames, blocks, single-byte signals), the
    // latest 10000 at most.
    const QList<QByteArray> &receivedFrames() const { return received; }
    void clearReceivedFrames() { received.clear(); }

    // Faults, each for the replies or requests still to come.
    void dropNextReply();                  // the next reply is lost on the line
    void corruptNextReplies(int count);    // flip the CRC of the next replies that carry one
    void answerNextWithError(quint8 code); // the next request is refused with code
    void answerNextWithRaw(const QByteArray &raw); // the next request gets these bytes instead
    void nakNextBlocks(int count);                 // upgrade: the next good blocks get NAK
    void sendCanAfterBlock(int index);             // see abortAfterBlock
    void sendEotAfterBlock(int index);
    // The reply to every Wi-Fi or FE MAC write leaves `ms` later (0: at
    // once), while the address is taken at once: the tool may end between
    // the two. The delay runs on the event loop of the model's thread.
    void delayMacWriteReplies(int ms);
    void clearFaults();

    // ---- Transfer faults (modulemodel_transferfaults.cpp) ------------------
    // Upgrade: block `index` (in file order; a resent block keeps its index)
    // is answered with `raw` each time it comes; an empty `raw` leaves it
    // unanswered.
    void answerBlockWith(int index, const QByteArray &raw);
    // Upgrade: the EOT is answered with `raw`, or not at all when it is
    // empty (the module then stays in the upgrade and still takes CAN).
    void answerEotWith(const QByteArray &raw);
    // The next `count` CAN signals are not answered and change nothing.
    void ignoreCancels(int count);
    // Log upload: the first sending of block `index` goes out in two halves,
    // the second `gapMs` after the first.
    void splitLogBlock(int index, int gapMs);
    // Log upload: the reply announces the digest in upper-case hex.
    void announceLogDigestUpperCase(bool upper);
    // ---- end of transfer faults --------------------------------------------

    // Decoded meaning of a request, block or signal from the tool, for traces
    // such as "read 0x0000 x2 (versions)".
    static QString describeRequest(const QByteArray &unit);

signals:
    // Bytes for the tool.
    void output(const QByteArray &bytes);
    // Trace of every complete unit taken and every reply made (also dropped
    // ones, whose meaning says so).
    void requestTaken(const QByteArray &unit, const QString &meaning);
    void replyMade(const QByteArray &bytes, const QString &meaning);

private:
    enum class Session { None, Restricted, Full };
    enum class LogStep { AwaitStart, AwaitBlockAck, AwaitEotAck };

    void loadDefaults();
    void parseInput();
    int takeCommandUnit();
    int silenceMs() const;
    int takeUpgradeUnit();
    int dropStray();
    void backInStep();
    void upgradeSilence(const QByteArray &partial);
    int takeLogSignal();
    void takeUnit(const QByteArray &unit);
    void handleFrame(const QByteArray &frame);
    bool applyRequestFault(quint8 function);
    bool faultDelaysWriteReply(quint16 first, const QByteArray &bytes, const QString &meaning);

    void handleRead(const QByteArray &frame);
    void handleWrite(const QByteArray &frame);
    void handleTransferRequest(const QByteArray &frame);
    void handleLogin(const QByteArray &data);
    void handleCredentialChange(const QByteArray &data);
    void handleFieldWrite(quint16 first, quint16 count, const QByteArray &data);
    void startUpgrade(const QByteArray &frame);
    void startLogUpload(const QByteArray &frame);

    void handleUpgradeBlock(const QByteArray &block);
    void finishUpgrade();
    void handleLogSignal(char signal);
    void sendLogBlock();

    // Transfer faults: true when the fault answered in place of the module.
    bool transferFaultAnswersBlock();
    bool transferFaultAnswersEot();
    bool transferFaultSwallowsCancel();
    bool transferFaultSendsLogBlock(const QByteArray &block);
    QByteArray announcedLogDigest(const QByteArray &digest) const;
    void clearTransferFaults();

    bool sessionAllows(quint8 function, bool needsFullSession);
    // A session ended on purpose (login attempt, logout, credential change).
    void endSession()
    {
        session = Session::None;
        sessionTimedOut = false;
    }

    void reply(const QByteArray &bytes, const QString &meaning, bool carriesCrc);
    void replyError(quint8 function, quint8 code);
    void replySignal(char signal);
    void enterCommandMode();

    CredentialScheme scheme() const;
    QByteArray expectedField(const QString &text);
    QByteArray expectedPasswordField();
    void prepareCredentialFields();
    bool isFactoryPassword();
    QString textField(quint16 first, int width) const;
    void setTextField(quint16 first, int width, const QString &text);

    ModuleConfig settings;
    QByteArray store;
    QByteArray input;
    Clock clock;
    qint64 lastInputMs = 0;
    bool outOfStep = false; // an upgrade's input lost its framing until the next silence
    int strayBytes = 0;     // dropped while out of step
    Mode currentMode = Mode::Command;
    QList<QByteArray> received;

    Session session = Session::None;
    qint64 lastActivityMs = 0;
    bool sessionTimedOut = false; // the last session ended by its idle time-out
    int failuresInRow = 0;
    bool locked = false;
    qint64 lockedSinceMs = 0;
    QString passwordText;     // empty when only the field is known
    QByteArray passwordField; // set by a change under the derived scheme
    CredentialScheme passwordFieldScheme = CredentialScheme::Derived;

    LoadingAnnouncement announcement;
    QByteArray image;
    bool imageVerified = false;
    quint8 expectedBlockNumber = 0;
    int blocksStored = 0;

    QByteArray logFile;
    QList<QByteArray> logBlocks;
    int logIndex = 0;
    LogStep logStep = LogStep::AwaitStart;

    // Faults.
    int repliesToDrop = 0;
    int repliesToCorrupt = 0;
    int blocksToNak = 0;
    bool errorPending = false;
    quint8 pendingError = 0;
    bool rawPending = false;
    QByteArray pendingRaw;
    int abortAfterIndex = -1;
    char abortSignal = 0;
    int macReplyDelayMs = 0;

    // Transfer faults.
    int faultBlockIndex = -1;
    QByteArray faultBlockReply;
    bool eotFault = false;
    QByteArray eotReply;
    int cancelsToIgnore = 0;
    int splitBlockIndex = -1;
    int splitGapMs = 0;
    bool upperCaseLogDigest = false;
};
