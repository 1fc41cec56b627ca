#include "support/scriptedlink.h"

bool ScriptedLink::write(const QByteArray &bytes)
{
    if (lineLost)
        return false;
    writes.append(bytes);
    const Reply reply = respond ? respond(bytes) : Reply();
    for (const Piece &piece : reply) {
        const Piece timed{int(nowMs) + piece.atMs, piece.bytes, piece.lost};
        int at = pending.size();
        while (at > 0 && pending.at(at - 1).atMs > timed.atMs)
            --at;
        pending.insert(at, timed);
    }
    return true;
}

bool ScriptedLink::ended(const LinkWait &wait) const
{
    return pieceBytes(received) > wait.moreThan || (wait.until && wait.until(received)) ||
           (wait.cancel && wait.cancel->isSet());
}

WaitEnd ScriptedLink::waitFor(const LinkWait &wait)
{
    const qint64 deadline = nowMs + wait.limitMs;
    while (!ended(wait)) {
        if (lineLost)
            return WaitEnd::LinkLost;
        if (pending.isEmpty() || pending.first().atMs > deadline) {
            nowMs = deadline;
            return WaitEnd::TimedOut;
        }
        const Piece piece = pending.takeFirst();
        nowMs = qMax<qint64>(nowMs, piece.atMs);
        lineLost = lineLost || piece.lost;
        if (piece.lost)
            continue;
        if (piece.bytes.isEmpty() && cancelFlag)
            cancelFlag->cancel();
        else if (!piece.bytes.isEmpty())
            received.append(piece.bytes);
    }
    return wait.cancel && wait.cancel->isSet() ? WaitEnd::Cancelled : WaitEnd::Enough;
}

ReadPieces ScriptedLink::take()
{
    ReadPieces taken;
    taken.swap(received);
    return taken;
}
