#pragma once

// MAC address values and texts of the address pool, as plain functions. An
// address is a 48-bit value; its pool text is six two-digit upper-case
// hexadecimal groups joined by ":" (90:7E:BA:74:B7:0C). Nothing here touches
// the database or a widget.

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace MacAddress
{
constexpr int DIGITS = 12;
constexpr int BYTES = 6;
constexpr quint64 LAST_VALUE = 0xFFFFFFFFFFFFULL;
} // namespace MacAddress

// Pool text of a 48-bit value: "90:7E:BA:74:B7:0C" for 0x907EBA74B70C.
QString colonMac(quint64 value);

// Any value, also one past 48 bits, as hexadecimal pairs joined by ":" and
// counted from the right, at least six pairs: 0x1000000000001 gives
// "1:00:00:00:00:00:01". Used to name an address a range would need.
QString groupedMac(quint64 value);

// Why `value` may never be a station's address: the group bit (the lowest
// bit of the first byte) is set (broadcast included), or it is all zero.
// Empty for an address a module may hold.
QString unicastProblem(quint64 value);

// Exactly twelve hexadecimal digits of either case; false for anything else.
bool parseMacDigits(const QString &digits, quint64 &value);

// An address in a form the pool has held: twelve digits bare, or six
// two-digit groups joined by ":" or "-" (either case). False otherwise.
bool parseStoredMac(const QString &text, quint64 &value);

// The prefixes that select the same addresses in every stored form: the text
// as typed and, when it holds only hexadecimal digits, ":" and "-", the
// same digits grouped by ":", by "-" and bare ("90:7E" gives "90:7E",
// "90-7E", "907E"). Any other text is returned alone.
QStringList macPrefixForms(const QString &prefix);

// The texts one address may be stored under in older pool files, colon form
// first: colon, dash and bare, all upper case.
QStringList storedMacForms(quint64 value);

// What the page checks in its six byte fields and its separator before a
// generation. Empty when acceptable; otherwise the message to show, naming
// the first fault (an empty field is named by its position 1 to 6).
QString checkStartFields(const QStringList &byteTexts, const QString &separator);

// The start address text the page hands to the worker: each field upper
// case, a single digit padded to two, joined by `separator`.
QString joinStartFields(const QStringList &byteTexts, const QString &separator);

// One generation: `count` addresses from `first` on, `step` apart. The range
// never leaves the tail (the digits after the head), so address i is simply
// first + i * step.
struct MacRange {
    quint64 first = 0;
    int count = 0;
    int step = 0;

    quint64 address(int i) const { return first + quint64(i) * quint64(step); }
};

// True, with the reason in `why`, when `range` reaches an address that
// unicastProblem refuses; such a range is refused whole.
bool rangeReachesNonUnicast(const MacRange &range, QString &why);

// Works out the range of a generation request: the separator is removed
// from the start text (case-sensitive; an empty one removes nothing), which
// must leave twelve hexadecimal digits; head length 0 to 11, count and step
// of at least 1. The arithmetic is 64-bit; a range whose last address would
// carry out of the tail's 12 - headLength digits is refused with a message
// naming that address, and so is a range that would reach a group,
// broadcast or zero address (rangeReachesNonUnicast). Returns false with the message in `why`.
bool planMacRange(const QString &startText, int count, int headLength, int step,
                  const QString &separator, MacRange &range, QString &why);

// Colon form of an even-length digit text, two characters at a time; an odd
// trailing digit is dropped ("907EBA74B70D" gives "90:7E:BA:74:B7:0D").
QString toColonMac(const QString &digits);
