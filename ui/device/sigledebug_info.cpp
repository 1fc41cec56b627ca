// Device page: the four device-information reads of a refresh.
#include "ui/device/sigledebug.h"

#include "base/logging.h"
#include "protocol/deviceinfo.h"
#include "ui/boxes/custombox.h"
#include "ui/device/deviceline.h"
#include "ui_sigledebug.h"

#include <QDebug>
#include <QTimer>

namespace
{

// What a read says when it fails.
struct BlockTexts {
    const char *timeout;
    const char *checksum;      // shown when the repeats are used up
    const char *repeatWarning; // shown before every repeat, or nullptr
};

const BlockTexts VERSION_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "读取版本超时！"),
                                  QT_TRANSLATE_NOOP("SigleDebug", "读取版本校验错误！"), nullptr};
const BlockTexts UART_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "读取串口参数超时！"),
                               QT_TRANSLATE_NOOP("SigleDebug", "读取串口参数校验错误！"), nullptr};
const BlockTexts WIFI_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "读取Wifi参数超时！"),
                               QT_TRANSLATE_NOOP("SigleDebug", "读取Wifi参数校验错误！"),
                               QT_TRANSLATE_NOOP("SigleDebug", "读取Wifi参数校验错误！")};
const BlockTexts FE_TEXTS = {QT_TRANSLATE_NOOP("SigleDebug", "读取FE参数超时！"),
                             QT_TRANSLATE_NOOP("SigleDebug", "读取FE参数校验错误！"), nullptr};

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

// The engine asks for a read again after a checksum failure.
void SigleDebug::readRepeated(SessionRequest request, int)
{
    if (const char *warning = textsFor(request).repeatWarning)
        warn(warning);
}

// Shows why a read failed; true when it succeeded.
bool SigleDebug::readSucceeded(SessionRequest request, const StepResult &result)
{
    const BlockTexts &texts = textsFor(request);
    switch (result.outcome) {
    case StepOutcome::Done:
        return true;
    case StepOutcome::TimedOut:
    case StepOutcome::LinkLost: // the port list then closes the port
        warn(texts.timeout);
        break;
    case StepOutcome::ErrorReply:
        handleErrorReply(result.errorCode, false);
        break;
    case StepOutcome::ChecksumFailure:
    case StepOutcome::Refused:
        warn(texts.checksum);
        break;
    }
    return false;
}

namespace
{

struct Refreshed {
    RefreshResult result;
    DeviceInfo info;
    QString version;
};

// After a refresh the actions stay disabled this long.
constexpr int REFRESH_SETTLE_MS = 1000;

} // namespace

// The engine's refresh on the line, the actions disabled until a second
// after its outcome; then `afterRefresh`, unless the port closed meanwhile.
void SigleDebug::refreshDevice(std::function<void()> afterRefresh)
{
    disableDeviceActions();
    const int opening = openings;
    line->run(
        [](ModuleSession &session) {
            Refreshed refreshed;
            refreshed.result = session.refresh(&refreshed.info);
            refreshed.version = session.softwareVersion();
            return refreshed;
        },
        [this, opening, afterRefresh](const Refreshed &refreshed) {
            softwareVersion = refreshed.version;
            if (opening == openings)
                showRefresh(refreshed.result, refreshed.info);
            QTimer::singleShot(REFRESH_SETTLE_MS, this, [this, opening, afterRefresh] {
                if (opening != openings)
                    return;
                enableDeviceActions();
                if (afterRefresh)
                    afterRefresh();
            });
        });
}

// The blocks read before a failed one are shown.
void SigleDebug::showRefresh(const RefreshResult &result, const DeviceInfo &info)
{
    const int shown = result.ok() ? 4 : result.blocksRead;
    if (shown > 0)
        showVersionBlock(info.version);
    if (shown > 1)
        showUartBlock(info.uart);
    if (shown > 2)
        showWifiBlock(info.wifi);
    if (shown > 3)
        showFeBlock(info.fe);
    if (result.ok() || readSucceeded(result.failedRead, result))
        return;
    // A module that does not answer the version read has no session.
    if (result.failedRead == SessionRequest::ReadVersions &&
        result.outcome == StepOutcome::TimedOut)
        setSessionView(false);
}

void SigleDebug::showVersionBlock(const VersionInfo &info)
{
    ui->label_softVer->setText(formatVersion(info.software));
    ui->label_hardVer->setText(formatVersion(info.hardware));
}

void SigleDebug::showUartBlock(const UartInfo &info)
{
    ui->label_baudrate->setText(QString::number(info.baudRate));
    ui->label_databit->setText(QString::number(info.dataBits));
    ui->label_stopbit->setText(stopBitText(info.stopBitCode));
    if (const auto parity = parityText(info.parityCode))
        ui->label_parity->setText(*parity);
}

void SigleDebug::showWifiBlock(const WifiInfo &info)
{
    showWifiValues(info.ssid, info.password);
    ui->label_channel->setText(QString::number(info.channel));
    ui->label_bandwidth->setText(QString::number(info.bandWidth) + QStringLiteral("MHz"));
    if (const auto encryption = encryptionText(info.encryptionCode))
        ui->label_encryption->setText(*encryption);
    qCDebug(lcCrypto).noquote() << QStringLiteral("密码：") << info.password;
    ui->label_wifiIp->setText(formatDottedQuad(info.ip));
    ui->label_wifiMask->setText(formatDottedQuad(info.mask));
    ui->label_wifiMac->setText(formatMacColons(info.mac));
}

void SigleDebug::showFeBlock(const FeInfo &info)
{
    ui->label_FeIP->setText(formatDottedQuad(info.ip));
    ui->label_FeMask->setText(formatDottedQuad(info.mask));
    ui->label_feMac->setText(formatMacColons(info.mac));
}
