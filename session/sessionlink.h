#pragma once

// The line a session talks over, seen from the session engine: bytes go out,
// read pieces come in. A link may sleep in an event loop (the device page)
// or block on a port in a thread of its own (the command line); the engine
// does not care which, and never sleeps by itself.

#include <QByteArray>
#include <QList>

#include <atomic>
#include <functional>

// A stop request for a running session. The caller owns it and may set it
// from any thread (a cancel button, a signal handler); the session only
// reads it, in every wait it hands to its link.
class CancelFlag
{
public:
    void cancel() { flag.store(true, std::memory_order_relaxed); }
    void reset() { flag.store(false, std::memory_order_relaxed); }
    bool isSet() const { return flag.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> flag{false};
};

// The read pieces since the link's last take(), each as the port delivered
// it. They are passed through unchanged: a piece of one byte has a meaning
// of its own during a transfer (the module's lone EOT or CAN).
using ReadPieces = QList<QByteArray>;

// All bytes of `pieces` joined in order.
QByteArray joinPieces(const ReadPieces &pieces);
// The number of bytes in `pieces`.
int pieceBytes(const ReadPieces &pieces);

// A condition on the pieces received so far; an empty function never holds.
using PieceTest = std::function<bool(const ReadPieces &pieces)>;

// Why a wait ended.
enum class WaitEnd {
    Enough,    // more bytes than asked for are in, or the condition holds
    Cancelled, // the cancel flag is set
    TimedOut,  // the time limit has passed first
    LinkLost,  // the line has gone (read or write error, hang-up); later waits end so at once
};

// What one wait asks for.
struct LinkWait {
    int moreThan = 0;                   // end once more than this many bytes are in
    PieceTest until;                    // or once this holds (may be empty)
    const CancelFlag *cancel = nullptr; // or once this is set (may be null)
    int limitMs = 0;                    // at the latest after this long
};

class SessionLink
{
public:
    virtual ~SessionLink() = default;

    // Hands `bytes` to the line. False when the port refused them; the
    // engine does not act on that, a refused write surfaces as a time-out.
    virtual bool write(const QByteArray &bytes) = 0;

    // Sleeps until one of the ends of `wait` holds, checking them first, so
    // a wait whose condition already holds returns at once. The limit is
    // measured as elapsed time. A link that can see its line go away ends
    // the wait with LinkLost within a second of it. Received bytes stay in
    // the link.
    virtual WaitEnd waitFor(const LinkWait &wait) = 0;

    // The pieces received since the last take, and forgets them.
    virtual ReadPieces take() = 0;
};
