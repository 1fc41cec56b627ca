#pragma once

// Byte helpers shared by the frame codec, the device-information decoders,
// the transfer frames, the credential block and the module simulator. Numbers
// on the line are unsigned and big-endian; text fields are zero-filled.

#include <QByteArray>
#include <QtGlobal>

namespace Bytes
{

// The unsigned big-endian number at `offset`; the caller makes sure that
// all of its bytes lie inside `bytes`.
inline quint16 read16(const QByteArray &bytes, int offset)
{
    return quint16((quint8(bytes.at(offset)) << 8) | quint8(bytes.at(offset + 1)));
}

inline quint32 read32(const QByteArray &bytes, int offset)
{
    return (quint32(read16(bytes, offset)) << 16) | read16(bytes, offset + 2);
}

inline void append16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

inline void append32(QByteArray &bytes, quint32 value)
{
    append16(bytes, quint16(value >> 16));
    append16(bytes, quint16(value & 0xFFFF));
}

inline QByteArray bigEndian16(quint16 value)
{
    QByteArray bytes;
    append16(bytes, value);
    return bytes;
}

inline QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes;
    append32(bytes, value);
    return bytes;
}

// Exactly `width` bytes: `bytes` cut to `width`, or followed by zero bytes up
// to it. A width of 0 or less gives an empty field.
inline QByteArray zeroFilled(const QByteArray &bytes, int width)
{
    if (width <= 0)
        return QByteArray();
    QByteArray field = bytes.left(width);
    field.append(width - field.size(), '\0');
    return field;
}

// The bytes before the first zero byte; all of them when there is none.
inline QByteArray upToFirstZero(const QByteArray &field)
{
    const int zero = field.indexOf('\0');
    return zero < 0 ? field : field.left(zero);
}

} // namespace Bytes
