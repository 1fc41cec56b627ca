#include "base/passwordstrength.h"

namespace
{

bool isAsciiUpper(QChar c)
{
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
}

bool isAsciiLower(QChar c)
{
    return c >= QLatin1Char('a') && c <= QLatin1Char('z');
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Printable ASCII that is neither a letter nor a digit; the blank included.
bool isPunctuationOrBlank(QChar c)
{
    const bool printableAscii = c.unicode() >= 0x20 && c.unicode() <= 0x7E;
    return printableAscii && !isAsciiUpper(c) && !isAsciiLower(c) && !isAsciiDigit(c);
}

int lengthPoints(int length)
{
    if (length >= 12)
        return 2;
    return length >= kMinPasswordLength ? 1 : 0;
}

template <typename Predicate> bool containsAny(const QString &text, Predicate predicate)
{
    for (const QChar c : text) {
        if (predicate(c))
            return true;
    }
    return false;
}

bool isNotAsciiAlphanumeric(QChar c)
{
    return !isAsciiUpper(c) && !isAsciiLower(c) && !isAsciiDigit(c);
}

} // namespace

int passwordStrengthScore(const QString &password)
{
    int score = lengthPoints(password.size());
    score += containsAny(password, isAsciiUpper) ? 1 : 0;
    score += containsAny(password, isAsciiLower) ? 1 : 0;
    score += containsAny(password, isAsciiDigit) ? 1 : 0;
    score += containsAny(password, isNotAsciiAlphanumeric) ? 1 : 0;
    return score;
}

bool isPasswordStrongEnough(const QString &password)
{
    return passwordStrengthScore(password) >= kMinPasswordScore;
}

StrengthLevel passwordStrengthLevel(const QString &password)
{
    if (password.isEmpty())
        return StrengthLevel::Unchanged;
    if (password.size() < kMinPasswordLength)
        return StrengthLevel::TooShort;
    const int classes =
        int(containsAny(password, isAsciiLower)) + int(containsAny(password, isAsciiUpper)) +
        int(containsAny(password, isAsciiDigit)) + int(containsAny(password, isPunctuationOrBlank));
    if (classes == 1)
        return StrengthLevel::Low;
    if (classes == 2)
        return StrengthLevel::Medium;
    return StrengthLevel::High;
}
