#pragma once

#include <QString>

// Normalises an address as the MAC pool stores it to the colon form shown in
// the MAC address dialog. Letter case is kept.
// - fewer than 12 characters: the empty text;
// - exactly 12 (bare digits): the pairs at 0, 2, ... 10 joined by ":";
// - more than 12: the two characters at 0, 3, 6, ... (while the position is
//   inside the text) joined by ":", which drops one separator character of
//   any kind between the pairs (90-7E-BA-74-B7-0C -> 90:7E:BA:74:B7:0C).
//   A text of 13 to 16 characters therefore gives fewer or shorter groups,
//   never a six-group address.
QString formatStoredMac(const QString &macAddr);
