#pragma once

// The password policy shared by the Wi-Fi password dialog, the login
// settings dialog and the command line. Lengths are counted in QString units
// (UTF-16 code units), the same way the line edits count them. No widgets.

#include <QString>

// Shortest new password the dialogs accept.
constexpr int kMinPasswordLength = 8;
// Lowest strength score the dialogs accept; 2 or less is too weak.
constexpr int kMinPasswordScore = 3;

// Strength score 0..6: 0 for fewer than 8 characters, 1 for 8 to 11, 2 for
// 12 or more; plus 1 each for an upper-case letter A-Z, a lower-case letter
// a-z, a digit 0-9, and any other character (including non-ASCII ones).
int passwordStrengthScore(const QString &password);

// True when the score reaches kMinPasswordScore.
bool isPasswordStrongEnough(const QString &password);

// What the live indicator under a new-password field shows.
enum class StrengthLevel {
    Unchanged, // empty text: the indicator line is left as it is
    TooShort,  // fewer than 8 characters
    Low,       // one character class
    Medium,    // two classes
    High,      // three or four classes, or none of them (only non-ASCII)
};

// Classes counted: lower-case, upper-case, digit, and the punctuation set (the
// 32 printable ASCII punctuation characters plus the blank). Non-ASCII
// characters belong to none of them, so they raise the score but not the level.
StrengthLevel passwordStrengthLevel(const QString &password);
