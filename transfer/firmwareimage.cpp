#include "transfer/firmwareimage.h"

#include "transfer/transferframes.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

QByteArray FirmwareImage::digest(QCryptographicHash::Algorithm algorithm) const
{
    return algorithm == QCryptographicHash::Sha256 ? sha256 : sha1;
}

FirmwareImage FirmwareImage::load(const QString &path)
{
    FirmwareImage image;
    image.path = QFileInfo(path).absoluteFilePath();
    image.refusal = checkFirmwareFile(path);
    if (!image.isUsable())
        return image;
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    image.blocks = readBlocks(&buffer, bytes.size(), &image.size);
    if (image.blocks.isEmpty() || image.size != file.size()) {
        image.blocks.clear();
        image.refusal = FirmwareRefusal::Unreadable;
        return image;
    }
    image.sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    image.sha1 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
    return image;
}
