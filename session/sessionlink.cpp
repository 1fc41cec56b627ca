#include "session/sessionlink.h"

QByteArray joinPieces(const ReadPieces &pieces)
{
    QByteArray joined;
    joined.reserve(pieceBytes(pieces));
    for (const QByteArray &piece : pieces)
        joined.append(piece);
    return joined;
}

int pieceBytes(const ReadPieces &pieces)
{
    int total = 0;
    for (const QByteArray &piece : pieces)
        total += piece.size();
    return total;
}
