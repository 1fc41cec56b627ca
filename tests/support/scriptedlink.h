#pragma once

// A session link whose far end is a script, for engine tests: no port, no
// event loop, no sleep. Time is virtual; a wait moves the clock to the piece
// that ends it or to its limit.

#include "session/sessionlink.h"

#include <functional>

class ScriptedLink : public SessionLink
{
public:
    // One read piece, `atMs` after the write that caused it. A piece without
    // bytes sets `cancelFlag` at that time instead, or with `lost` ends the
    // line: that wait and every later one end LinkLost, writes fail.
    struct Piece {
        int atMs;
        QByteArray bytes;
        bool lost = false;
    };
    using Reply = QList<Piece>;

    // Every write asks this for the far end's answer.
    std::function<Reply(const QByteArray &written)> respond;
    CancelFlag *cancelFlag = nullptr;
    QList<QByteArray> writes;
    qint64 nowMs = 0;

    bool write(const QByteArray &bytes) override;
    WaitEnd waitFor(const LinkWait &wait) override;
    ReadPieces take() override;

    // A reply of one piece at once.
    static Reply now(const QByteArray &bytes) { return {{0, bytes}}; }

private:
    bool ended(const LinkWait &wait) const;

    QList<Piece> pending; // absolute times, in order
    bool lineLost = false;
    ReadPieces received;
};
