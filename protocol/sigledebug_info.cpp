// Device page: the four device-information reads of a refresh.
#include "protocol/sigledebug.h"

#include "base/logging.h"
#include "protocol/deviceinfo.h"
#include "ui/boxes/custombox.h"
#include "ui_sigledebug.h"

#include <QDebug>

namespace
{

// What a read says when it fails; the trace prefixes of its debug lines.
struct BlockTexts {
    const char *timeout;
    const char *checksum;      // shown when the repeats are used up
    const char *repeatWarning; // shown before every repeat, or nullptr
    const char *requestTrace;
    const char *replyTrace;
};

const BlockTexts VERSION_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "读取版本超时！"),
                                  QT_TRANSLATE_NOOP("SigleDebug", "读取版本校验错误！"), nullptr,
                                  "GET_VERSION:", "VERSION:"};
const BlockTexts UART_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "读取串口参数超时！"),
                               QT_TRANSLATE_NOOP("SigleDebug", "读取串口参数校验错误！"), nullptr,
                               "GET_UART:", "UART:"};
const BlockTexts WIFI_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "读取Wifi参数超时！"),
                               QT_TRANSLATE_NOOP("SigleDebug", "读取Wifi参数校验错误！"),
                               QT_TRANSLATE_NOOP("SigleDebug", "读取Wifi参数校验错误！"),
                               "GET_WIFI:", "WIFI:"};
const BlockTexts FE_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "读取FE参数超时！"),
                             QT_TRANSLATE_NOOP("SigleDebug", "读取FE参数校验错误！"), nullptr,
                             "GET_FE:", "FE:"};

const BlockTexts &textsFor(SessionRequest request)
{
    switch (request) {
    case SessionRequest::ReadVersions:
        return VERSION_TEXTS;
    case SessionRequest::ReadUart:
        return UART_TEXTS;
    case SessionRequest::ReadWifi:
        return WIFI_TEXTS;
    default:
        return FE_TEXTS;
    }
}

void warn(const char *text)
{
    CustomWarningBox::showWarningBox(SigleDebug::tr("提示"), SigleDebug::tr(text));
}

} // namespace

// Reads one block. Returns the accepted reply, whole and at least as long as
// the block, or an empty array after the failure has been reported; `outcome`
// tells which of the two it was. A reply
// that fails its checksum, or passes it while shorter than the block, is
// asked for again, at most MAX_CHECKSUM_REPEATS times.
QByteArray SigleDebug::readBlock(SessionRequest request, ReplyKind *outcome)
{
    const BlockTexts &texts = textsFor(request);
    const QByteArray frame = buildSessionReadRequest(request);
    const int blockLength = sessionRequestSpec(request).replyBytes;
    for (int repeat = 0;; ++repeat) {
        qCDebug(lcProtocol).noquote() << texts.requestTrace << hexUpper(frame);
        const QByteArray reply = exchange(request, frame);
        qCDebug(lcProtocol).noquote() << texts.replyTrace << replyTraceHex(request, reply);
        ReplyKind kind = classifyReply(reply);
        if (kind == ReplyKind::Accepted && reply.size() < blockLength)
            kind = ReplyKind::ChecksumFailure;
        *outcome = kind;
        switch (kind) {
        case ReplyKind::Accepted:
            return reply;
        case ReplyKind::Nothing:
            warn(texts.timeout);
            return QByteArray();
        case ReplyKind::ErrorReply:
            handleErrorReply(errorCodeOf(reply), false);
            return QByteArray();
        case ReplyKind::ChecksumFailure:
            if (repeat >= MAX_CHECKSUM_REPEATS) {
                warn(texts.checksum);
                return QByteArray();
            }
            if (texts.repeatWarning)
                warn(texts.repeatWarning);
            break;
        }
    }
}

bool SigleDebug::readVersionBlock()
{
    ReplyKind outcome;
    VersionInfo info;
    if (!decodeVersionReply(readBlock(SessionRequest::ReadVersions, &outcome), &info)) {
        // A module that does not answer the version read has no session.
        if (outcome == ReplyKind::Nothing)
            setSessionView(false);
        return false;
    }
    ui->label_softVer->setText(formatVersion(info.software));
    ui->label_hardVer->setText(formatVersion(info.hardware));
    softwareVersion = QString::number(info.software);
    return true;
}

bool SigleDebug::readUartBlock()
{
    UartInfo info;
    ReplyKind outcome;
    if (!decodeUartReply(readBlock(SessionRequest::ReadUart, &outcome), &info))
        return false;
    ui->label_baudrate->setText(QString::number(info.baudRate));
    ui->label_databit->setText(QString::number(info.dataBits));
    ui->label_stopbit->setText(stopBitText(info.stopBitCode));
    if (const auto parity = parityText(info.parityCode))
        ui->label_parity->setText(*parity);
    return true;
}

bool SigleDebug::readWifiBlock()
{
    WifiInfo info;
    ReplyKind outcome;
    if (!decodeWifiReply(readBlock(SessionRequest::ReadWifi, &outcome), &info))
        return false;
    ui->label_SSID->setText(info.ssid);
    ui->label_channel->setText(QString::number(info.channel));
    ui->label_bandwidth->setText(QString::number(info.bandWidth) + QStringLiteral("MHz"));
    if (const auto encryption = encryptionText(info.encryptionCode))
        ui->label_encryption->setText(*encryption);
    ui->lineEdit_password->setText(info.password);
    qCDebug(lcCrypto).noquote() << QStringLiteral("密码：") << info.password;
    ui->label_wifiIp->setText(formatDottedQuad(info.ip));
    ui->label_wifiMask->setText(formatDottedQuad(info.mask));
    ui->label_wifiMac->setText(formatMacColons(info.mac));
    return true;
}

bool SigleDebug::readFeBlock()
{
    FeInfo info;
    ReplyKind outcome;
    if (!decodeFeReply(readBlock(SessionRequest::ReadFe, &outcome), &info))
        return false;
    ui->label_FeIP->setText(formatDottedQuad(info.ip));
    ui->label_FeMask->setText(formatDottedQuad(info.mask));
    ui->label_feMac->setText(formatMacColons(info.mac));
    return true;
}
