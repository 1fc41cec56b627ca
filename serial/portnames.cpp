#include "serial/portnames.h"

#include <limits>

const QStringList &STANDARD_BAUD_RATES()
{
    static const QStringList rates = {
        "110",     "300",     "600",     "1200",    "2400",     "4800",     "9600",
        "19200",   "38400",   "57600",   "115200",  "230400",   "460800",   "921600",
        "1843200", "3686400", "7812500", "8928571", "10416666", "12500000", "15625000"};
    return rates;
}

// The names are lookup keys, not texts shown by the manager: callers pass
// these exact source texts.
const QList<ParityName> &PARITY_NAMES()
{
    static const QList<ParityName> names = {{QStringLiteral("无校验"), QSerialPort::NoParity},
                                            {QStringLiteral("偶检验"), QSerialPort::EvenParity},
                                            {QStringLiteral("奇校验"), QSerialPort::OddParity},
                                            {QStringLiteral("空格"), QSerialPort::SpaceParity},
                                            {QStringLiteral("标记"), QSerialPort::MarkParity}};
    return names;
}

const QList<DataBitsName> &DATA_BITS_NAMES()
{
    static const QList<DataBitsName> names = {{QStringLiteral("5"), QSerialPort::Data5},
                                              {QStringLiteral("6"), QSerialPort::Data6},
                                              {QStringLiteral("7"), QSerialPort::Data7},
                                              {QStringLiteral("8"), QSerialPort::Data8}};
    return names;
}

const QList<StopBitsName> &STOP_BITS_NAMES()
{
    static const QList<StopBitsName> names = {{QStringLiteral("1"), QSerialPort::OneStop},
                                              {QStringLiteral("1.5"), QSerialPort::OneAndHalfStop},
                                              {QStringLiteral("2"), QSerialPort::TwoStop}};
    return names;
}

const QList<FlowControlName> &FLOW_CONTROL_NAMES()
{
    static const QList<FlowControlName> names = {
        {QStringLiteral("无"), QSerialPort::NoFlowControl},
        {QStringLiteral("硬件流控"), QSerialPort::HardwareControl},
        {QStringLiteral("软件流控"), QSerialPort::SoftwareControl}};
    return names;
}

namespace
{

// Digit value of an ASCII digit, -1 for a non-ASCII decimal digit (which
// spoils the conversion), -2 for a character that is no decimal digit.
int digitKind(uint codePoint)
{
    if (codePoint >= '0' && codePoint <= '9')
        return int(codePoint - '0');
    if (codePoint > 0x7F && QChar::category(codePoint) == QChar::Number_DecimalDigit)
        return -1;
    return -2;
}

// The number formed by all decimal digits of name, or 0 when those digits
// are none, hold a non-ASCII digit, or overflow a signed 32-bit integer.
qint32 portNumber(const QString &name)
{
    qint64 value = 0;
    bool anyDigit = false;
    bool convertible = true;
    for (int i = 0; i < name.size(); ++i) {
        uint codePoint = name.at(i).unicode();
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() &&
            name.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        const int kind = digitKind(codePoint);
        if (kind == -2)
            continue;
        anyDigit = true;
        if (kind == -1) {
            convertible = false;
            continue;
        }
        if (convertible) {
            value = value * 10 + kind;
            if (value > std::numeric_limits<qint32>::max())
                convertible = false;
        }
    }
    return anyDigit && convertible ? qint32(value) : 0;
}

} // namespace

bool portNameLess(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    return portNumber(a) < portNumber(b);
}
