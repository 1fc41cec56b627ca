#include "base/macaddress.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace
{
QString tr(const char *text)
{
    return QCoreApplication::translate("MacAddress", text);
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

QString hexDigits(quint64 value, int width)
{
    return QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

QString joinPairs(const QString &digits, QChar separator)
{
    QString text;
    for (int i = 0; i < digits.size(); i += 2) {
        if (i > 0)
            text += separator;
        text += digits.midRef(i, 2);
    }
    return text;
}
} // namespace

QString colonMac(quint64 value)
{
    return joinPairs(hexDigits(value & MacAddress::LAST_VALUE, MacAddress::DIGITS),
                     QLatin1Char(':'));
}

QString groupedMac(quint64 value)
{
    QString digits = hexDigits(value, MacAddress::DIGITS);
    if (digits.size() % 2)
        digits.prepend(QLatin1Char(' '));
    return joinPairs(digits, QLatin1Char(':')).trimmed();
}

QString unicastProblem(quint64 value)
{
    value &= MacAddress::LAST_VALUE;
    if (value == 0)
        return tr("MAC地址%1全为零，不能使用。").arg(colonMac(value));
    if (value == MacAddress::LAST_VALUE)
        return tr("MAC地址%1是广播地址，不能使用。").arg(colonMac(value));
    if ((value >> 40) & 1)
        return tr("MAC地址%1是组播地址（第一个字节的最低位为1），不能使用。").arg(colonMac(value));
    return QString();
}

bool rangeReachesNonUnicast(const MacRange &range, QString &why)
{
    for (int i = 0; i < range.count; ++i) {
        const QString problem = unicastProblem(range.address(i));
        if (!problem.isEmpty()) {
            why = tr("生成范围包含不可用的地址：%1").arg(problem);
            return true;
        }
    }
    return false;
}

bool parseMacDigits(const QString &digits, quint64 &value)
{
    if (digits.size() != MacAddress::DIGITS)
        return false;
    for (QChar c : digits) {
        if (!isHexDigit(c))
            return false;
    }
    value = digits.toULongLong(nullptr, 16);
    return true;
}

bool parseStoredMac(const QString &text, quint64 &value)
{
    static const QRegularExpression grouped(
        QStringLiteral("^[0-9A-Fa-f]{2}([:-])([0-9A-Fa-f]{2}\\1){4}[0-9A-Fa-f]{2}$"));
    if (text.size() == MacAddress::DIGITS)
        return parseMacDigits(text, value);
    if (!grouped.match(text).hasMatch())
        return false;
    QString digits = text;
    digits.remove(text.at(2));
    return parseMacDigits(digits, value);
}

QStringList storedMacForms(quint64 value)
{
    const QString colon = colonMac(value);
    QString dash = colon;
    dash.replace(QLatin1Char(':'), QLatin1Char('-'));
    return {colon, dash, hexDigits(value & MacAddress::LAST_VALUE, MacAddress::DIGITS)};
}

QStringList macPrefixForms(const QString &prefix)
{
    QString digits;
    for (QChar c : prefix) {
        if (isHexDigit(c))
            digits += c;
        else if (c != QLatin1Char(':') && c != QLatin1Char('-'))
            return {prefix};
    }
    const bool trailing = !prefix.isEmpty() && !isHexDigit(prefix.back());
    QStringList forms{prefix};
    for (QChar separator : {QLatin1Char(':'), QLatin1Char('-')}) {
        QString grouped = joinPairs(digits, separator);
        if (trailing)
            grouped += separator;
        forms << grouped;
    }
    forms << digits;
    forms.removeDuplicates();
    return forms;
}

QString checkStartFields(const QStringList &byteTexts, const QString &separator)
{
    if (byteTexts.size() != MacAddress::BYTES)
        return tr("起始MAC应有6个字节。");
    for (int i = 0; i < byteTexts.size(); ++i) {
        const QString &text = byteTexts.at(i);
        if (text.isEmpty())
            return tr("起始MAC的第%1个字节为空。").arg(i + 1);
        if (text.size() > 2 || !isHexDigit(text.at(0)) || !isHexDigit(text.back()))
            return tr("起始MAC的第%1个字节应为一到两位十六进制数。").arg(i + 1);
    }
    for (QChar c : separator) {
        if (isHexDigit(c))
            return tr("分隔符\"%1\"含有十六进制数字。").arg(separator);
    }
    return QString();
}

QString joinStartFields(const QStringList &byteTexts, const QString &separator)
{
    QStringList bytes;
    for (const QString &text : byteTexts)
        bytes << text.toUpper().rightJustified(2, QLatin1Char('0'));
    return bytes.join(separator);
}

bool planMacRange(const QString &startText, int count, int headLength, int step,
                  const QString &separator, MacRange &range, QString &why)
{
    QString digits = startText;
    if (!separator.isEmpty())
        digits.remove(separator, Qt::CaseSensitive);
    quint64 first = 0;
    if (!parseMacDigits(digits, first)) {
        why = tr("起始MAC\"%1\"去掉分隔符后不是12位十六进制数。").arg(startText);
        return false;
    }
    if (headLength < 0 || headLength >= MacAddress::DIGITS || count < 1 || step < 1) {
        why = tr("头长度应为0到11，数量和步长至少为1。");
        return false;
    }
    const int tailBits = 4 * (MacAddress::DIGITS - headLength);
    const quint64 tailMask = (quint64(1) << tailBits) - 1;
    const quint64 lastTail = (first & tailMask) + quint64(count - 1) * quint64(step);
    if (lastTail > tailMask) {
        why = tr("生成范围超出后%1位: 最后一个地址将是%2。")
                  .arg(MacAddress::DIGITS - headLength)
                  .arg(groupedMac((first & ~tailMask) + lastTail));
        return false;
    }
    MacRange planned;
    planned.first = first;
    planned.count = count;
    planned.step = step;
    if (rangeReachesNonUnicast(planned, why))
        return false;
    range = planned;
    return true;
}

QString toColonMac(const QString &digits)
{
    return joinPairs(digits.left(digits.size() - digits.size() % 2), QLatin1Char(':'));
}
