#pragma once

// Names the module simulator gives to what it takes and sends, for its trace
// lines: register blocks, transfer signals and error codes.

#include <QString>

namespace ModuleNames
{
// "versions", "Wi-Fi", ... for a known register block; empty otherwise.
QString registerBlockName(quint16 first, quint16 count);
// `text`, followed by " (name)" when `name` is not empty.
QString withName(const QString &text, const QString &name);
// "EOT", "ACK", ..., or "byte 0xNN".
QString signalName(char signal);
// The meaning of a module error code, such as "account locked".
QString errorName(quint8 code);
} // namespace ModuleNames
