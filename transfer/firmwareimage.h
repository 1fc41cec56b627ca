#pragma once

// A firmware image as it goes to a module: the file read once, its size,
// its blocks and both digests taken once, whichever the module asks for.
// Immutable once loaded, so many unit threads may send one image.

#include "transfer/upgradejudge.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QString>

struct FirmwareImage {
    QString path;             // absolute
    qint64 size = 0;          // bytes of the file
    QList<QByteArray> blocks; // the file cut into transfer blocks
    QByteArray sha256;        // raw digests of the file's bytes
    QByteArray sha1;
    FirmwareRefusal refusal = FirmwareRefusal::Unreadable; // None once loaded

    bool isUsable() const { return refusal == FirmwareRefusal::None; }
    // The raw digest by `algorithm` (SHA-256 or SHA-1).
    QByteArray digest(QCryptographicHash::Algorithm algorithm) const;

    // Reads the file at `path`. A file that cannot be upgraded gives an
    // image whose refusal says why and that holds no blocks.
    static FirmwareImage load(const QString &path);
};
