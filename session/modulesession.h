#pragma once

// One conversation with the module over a SessionLink: the login with its
// scheme fallback, the credential change, the four reads, the settings
// writes, the firmware upgrade, the log pull and the logout, each written
// once. Every step returns its outcome as a value (an enum, the module's
// error code when it sent one, and the data read); it never shows a text, a
// box or a button. Progress and passing events go to a SessionObserver.
// A session is used from one thread at a time.

#include "crypto/credential.h"
#include "protocol/deviceinfo.h"
#include "protocol/frame.h"
#include "session/sessionlink.h"
#include "transfer/firmwareimage.h"
#include "transfer/logreceive.h"
#include "transfer/transferframes.h"
#include "transfer/upgradejudge.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

namespace Session
{
// A read whose reply fails its checksum is asked for again this many times.
constexpr int MAX_READ_REPEATS = 3;
// The log pull: a pass ends on a whole block or after PASS_MS; a bad block is
// answered once the line has been quiet for QUIET_MS.
constexpr int LOG_PASS_MS = 300;
constexpr int LOG_QUIET_MS = 20;
// A cancelled transfer step waits at most this long for the unit under way
// on the line (a block, or the answer to one) before it returns.
constexpr int CANCEL_SETTLE_MS = 80;
// The failures of one log block an unattended caller allows.
constexpr int UNATTENDED_LOG_FAILURES = 10;
constexpr int UNLIMITED = -1;
} // namespace Session

// The answer to one request/reply exchange, as most steps report it.
enum class StepOutcome {
    Done,            // the reply passed its check
    TimedOut,        // nothing came within the limit
    ErrorReply,      // three bytes: errorCode holds the module's code
    ChecksumFailure, // the reply failed its check (reads: after the repeats)
    Refused,         // the input does not fit its field, or a credential field could not
                     // be made: nothing was sent
    LinkLost,        // the line went away (a port unplugged): nothing more can be sent
};

struct StepResult {
    StepOutcome outcome = StepOutcome::TimedOut;
    quint8 errorCode = 0; // for ErrorReply
    bool ok() const { return outcome == StepOutcome::Done; }
};

// A login or credential change, with the scheme of the request that gave
// the result and whether the derived scheme fell back to the AES-only one.
struct CredentialResult : StepResult {
    CredentialScheme scheme = CredentialScheme::Derived;
    bool fellBack = false;
};

// The four blocks of a refresh.
struct DeviceInfo {
    VersionInfo version;
    UartInfo uart;
    WifiInfo wifi;
    FeInfo fe;
};

// A refresh: the reads in order, each only after the previous succeeded.
struct RefreshResult : StepResult {
    int blocksRead = 0;                                       // 0 to 4
    SessionRequest failedRead = SessionRequest::ReadVersions; // when not ok()
};

// The module's answer to start loading, to a block, to the end of file.
enum class UpgradeOutcome {
    Upgraded,        // the verdict was ACK; from startLoading(): the module is ready ("C")
    Rejected,        // the verdict was anything else: the image failed its check
    VerdictTimedOut, // nothing came after EOT: the upgrade still runs
    NotReady,        // start loading: nothing ("C" expected) within the limit
    StartRefused,    // start loading: anything but "C" or an error reply
    BlockTimedOut,   // nothing came after a block
    TooManyResends,  // a sixth NAK for one block
    Unrelated,       // an answer to a block that is neither ACK nor NAK
    ErrorReply,      // three bytes to start, a block or EOT: errorCode
    FileRefused,     // upgrade(): the file cannot be sent (refusal)
    EndedByModule,   // a lone EOT or CAN piece, answered with ACK: endSignal
    Cancelled,       // the caller's flag was set
};

// Where an upgrade ended.
enum class UpgradeStage { Start, Blocks, Verdict };

struct UpgradeResult {
    UpgradeOutcome outcome = UpgradeOutcome::NotReady;
    UpgradeStage stage = UpgradeStage::Start;
    quint8 errorCode = 0;
    FirmwareRefusal refusal = FirmwareRefusal::None; // for FileRefused
    char endSignal = 0; // Transfer::EOT or Transfer::CAN for EndedByModule
    int blocksAcknowledged = 0;
    // The line went away: the outcome is the time-out of the stage (NotReady,
    // BlockTimedOut or VerdictTimedOut), and no stop can be sent.
    bool linkLost = false;
    // After these outcomes the module still expects the transfer to go on;
    // the caller ends it with stopTransfer().
    bool needsStop() const;
};

// The stop exchange of both transfers (CAN, answered by ACK).
enum class StopOutcome { Stopped, TimedOut, ErrorReply, Other };
struct StopResult {
    StopOutcome outcome = StopOutcome::TimedOut;
    quint8 errorCode = 0;
    bool linkLost = false; // the line went away; the outcome is TimedOut
};

struct LogRequestResult {
    LogRequestReply outcome = LogRequestReply::TimedOut;
    quint8 errorCode = 0;
    LogAnnouncement announced; // for Accepted
    bool linkLost = false;     // the line went away; the outcome is TimedOut
};

enum class LogPullOutcome {
    Complete,        // EOT, and the data have the announced digest
    DigestMismatch,  // EOT, the data do not have the announced digest
    AbortedByModule, // CAN from the module
    TooManyFailures, // the caller's failure limit was reached: stopTransfer()
    Cancelled,       // the caller's flag was set: stopTransfer()
};

struct LogPullResult {
    LogPullOutcome outcome = LogPullOutcome::Cancelled;
    qint64 written = 0; // bytes handed to the sink
    int blocks = 0;     // good blocks
    // The line went away: the outcome is AbortedByModule, and no stop can be
    // sent.
    bool linkLost = false;
};

// Events of a running step. Every function has an empty default.
class SessionObserver
{
public:
    virtual ~SessionObserver() = default;
    // A read reply failed its check; the request goes out again (repeat 1..).
    virtual void readRepeated(SessionRequest request, int repeat);
    // The derived-scheme login or change got error `code` and is sent again
    // under the AES-only scheme.
    virtual void credentialFellBack(SessionRequest request, quint8 code);
    // Block `index` of `count` goes out (again when `resend` > 0);
    // `bytesAcknowledged` data bytes have been taken so far.
    virtual void blockSent(int index, int count, int resend, qint64 bytesAcknowledged);
    // Every block was acknowledged; EOT goes out and the verdict is awaited.
    virtual void imageSent(qint64 bytes);
    // A log pass brought nothing; NAK follows.
    virtual void logPassEmpty();
    // A log block failed its check; NAK follows. `failures` of this block so far.
    virtual void logBlockRefused(int failures);
    // A good log block: `written` bytes are in the sink; `progress` is the
    // progress value of the page's bar (see LogReceiver::Result).
    virtual void logBlockWritten(qint64 written, qint64 progress);
};

class ModuleSession
{
public:
    // `link` must outlive the session; `observer` and `cancel` may be null.
    // The cancel flag ends the waits of a running transfer: the blocks and
    // the verdict of sendImage() and the passes of pullLog(). The step then
    // returns Cancelled within CANCEL_SETTLE_MS, once the block or answer
    // under way on the line is in (and dropped), ready for stopTransfer(). The short
    // exchanges (at most 1 s each) and stopTransfer() run to their end, so a
    // cancelled caller can still stop the transfer and log out.
    explicit ModuleSession(SessionLink *link, SessionObserver *observer = nullptr,
                           const CancelFlag *cancel = nullptr);

    // The software version of the last version read, decimal; empty until
    // then. It chooses the credential scheme and the firmware digest.
    QString softwareVersion() const { return version; }
    void setSoftwareVersion(const QString &decimal) { version = decimal; }
    CredentialScheme credentialScheme() const;

    // Login with the scheme the version chooses; a derived-scheme login the
    // module answers with an error code other than 0x16 is sent again under
    // the AES-only scheme. loginWith() sends one scheme only.
    CredentialResult login(const QString &account, const QString &password);
    CredentialResult loginWith(const QString &account, const QString &password,
                               CredentialScheme scheme);
    // The credential change: the same, the fallback on any error code.
    CredentialResult changeCredentials(const QString &account, const QString &password);
    CredentialResult changeCredentialsWith(const QString &account, const QString &password,
                                           CredentialScheme scheme);

    // The four reads. A reply that fails its check (or passes it while
    // shorter than the block) is asked for again, MAX_READ_REPEATS times;
    // readVersions also sets softwareVersion().
    StepResult readVersions(VersionInfo *out);
    StepResult readUart(UartInfo *out);
    StepResult readWifi(WifiInfo *out);
    StepResult readFe(FeInfo *out);
    RefreshResult refresh(DeviceInfo *out);

    // The settings writes. Texts go in the local 8-bit encoding; a text too
    // long for its field or a MAC text that is not six bytes is Refused.
    StepResult writeSsid(const QString &ssid);
    StepResult writeWifiPassword(const QString &password);
    StepResult writeWifiMac(const QString &mac);
    StepResult writeFeMac(const QString &mac);

    // The logout frame; no reply is awaited. False when the link refused it.
    bool logout();

    // The firmware upgrade in its steps: start loading announces the file at
    // `path` of `size` bytes (its name after the last "/", its digest as
    // softwareVersion() chooses, FileRefused when it cannot be read);
    // sendImage sends the blocks, with at most five resends each, then EOT,
    // and returns the module's verdict. A result with needsStop() asks for
    // stopTransfer().
    UpgradeResult startLoading(const QString &path, quint32 size);
    // The same for a loaded image: its digest as taken when it was read.
    UpgradeResult startLoading(const FirmwareImage &image);
    UpgradeResult sendImage(const QList<QByteArray> &blocks);
    // The three together, for an unattended caller: the image announced and
    // its blocks sent; stopTransfer() on a failure that needs it (its result
    // in *stop, may be null). An unusable image is FileRefused, nothing sent.
    UpgradeResult upgrade(const FirmwareImage &image, StopResult *stop);
    // The same for the file at `path`, read for this call.
    UpgradeResult upgrade(const QString &path, StopResult *stop);

    // The stop exchange of both transfers: CAN, answered by ACK.
    StopResult stopTransfer();
    // For a transfer left running while no step waits (no verdict came, or
    // the stop was not confirmed): waits for the module's lone EOT or CAN,
    // answers it with ACK and returns it. Other pieces are dropped, as the
    // next exchange would. 0 once `until` is set or the line is lost.
    char awaitEndSignal(const CancelFlag &until);

    // The log request: the module announces the name, size and digest. The
    // reply may come in pieces, so the page waits the full 500 ms; with
    // `waitInFull` false the wait ends as soon as the announced length is in
    // and its CRC holds.
    LogRequestResult requestLog(bool waitInFull = true);
    // Receives the announced log into `sink` (opened for writing) until the
    // module's EOT or CAN. `maxFailures` consecutive failures of one block
    // (Session::UNLIMITED: none) end the pull.
    LogPullResult pullLog(const LogAnnouncement &announced, QIODevice *sink, int maxFailures);

    // Whether the last wait ended because the line went away.
    bool linkLost() const { return lineLost; }

private:
    WaitEnd await(const LinkWait &wait);
    StepResult judged(const QByteArray &reply) const;
    ReadPieces exchange(const QByteArray &frame, int moreThan, int limitMs);
    ReadPieces exchange(SessionRequest request, const QByteArray &frame);
    ReadPieces firstPieces(const QByteArray &frame, int limitMs, bool cancellable, bool *cancelled);
    ReadPieces drainUntilQuiet(ReadPieces pieces, bool *cancelled);
    void acknowledgeEnd();
    void settleAfterCancel(const ReadPieces &taken);
    UpgradeResult cancelledAt(UpgradeStage stage, const ReadPieces &taken);
    StepResult readBlock(SessionRequest request, QByteArray *reply);
    StepResult writeField(SessionRequest request, const QByteArray &field);
    CredentialResult sendWithFallback(SessionRequest request, const QString &account,
                                      const QString &password);
    CredentialResult sendCredentials(SessionRequest request, const QString &account,
                                     const QString &password, CredentialScheme scheme);
    UpgradeResult announce(const QString &path, quint32 size, const QByteArray &digest);
    UpgradeResult sendBlocks(const QList<QByteArray> &blocks);
    UpgradeResult awaitVerdict();

    SessionLink *link;
    SessionObserver *observer;
    SessionObserver silent;
    const CancelFlag *cancel;
    QString version;
    bool lineLost = false;
};
