#include "provision/steptexts.h"

namespace
{

struct RequestRow {
    SessionRequest request;
    const char *timedOut;
    const char *checksum;
    const char *refused;
};

constexpr RequestRow REQUESTS[] = {
    {SessionRequest::Login, QT_TRANSLATE_NOOP("StepTexts", "登录响应帧超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "登录响应帧校验错误！"), ""},
    {SessionRequest::ChangeCredentials, QT_TRANSLATE_NOOP("StepTexts", "修改登录密码响应帧超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "修改登录密码响应帧校验错误！"), ""},
    {SessionRequest::ReadVersions, QT_TRANSLATE_NOOP("StepTexts", "读取版本超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "读取版本校验错误！"), ""},
    {SessionRequest::ReadUart, QT_TRANSLATE_NOOP("StepTexts", "读取串口参数超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "读取串口参数校验错误！"), ""},
    {SessionRequest::ReadWifi, QT_TRANSLATE_NOOP("StepTexts", "读取Wifi参数超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "读取Wifi参数校验错误！"), ""},
    {SessionRequest::ReadFe, QT_TRANSLATE_NOOP("StepTexts", "读取FE参数超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "读取FE参数校验错误！"), ""},
    {SessionRequest::WriteSsid, QT_TRANSLATE_NOOP("StepTexts", "设置SSID响应超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "设置SSID响应校验错误！"),
     QT_TRANSLATE_NOOP("StepTexts", "SSID超过32字节")},
    {SessionRequest::WriteWifiPassword, QT_TRANSLATE_NOOP("StepTexts", "设置密码参数响应超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "设置密码响应校验错误！"),
     QT_TRANSLATE_NOOP("StepTexts", "Wifi密码超过32字节")},
    {SessionRequest::WriteWifiMac, QT_TRANSLATE_NOOP("StepTexts", "设置WiFi的MAC地址响应超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "设置WiFi的MAC地址响应校验错误！"),
     QT_TRANSLATE_NOOP("StepTexts", "MAC地址不是6个字节")},
    {SessionRequest::WriteFeMac, QT_TRANSLATE_NOOP("StepTexts", "设置FE的MAC地址响应超时！"),
     QT_TRANSLATE_NOOP("StepTexts", "设置FE的MAC地址响应校验错误！"),
     QT_TRANSLATE_NOOP("StepTexts", "MAC地址不是6个字节")},
};

struct CodeRow {
    quint8 code;
    const char *text;
};

constexpr CodeRow CODES[] = {
    {0x01, QT_TRANSLATE_NOOP("StepTexts", "非法功能！")},
    {0x02, QT_TRANSLATE_NOOP("StepTexts", "非法数据地址！")},
    {0x03, QT_TRANSLATE_NOOP("StepTexts", "非法数据值！")},
    {0x04, QT_TRANSLATE_NOOP("StepTexts", "设备故障！")},
    {0x12, QT_TRANSLATE_NOOP("StepTexts", "设备登录账号或密码错误！")},
    {0x13, QT_TRANSLATE_NOOP("StepTexts", "登录超时！")},
    {0x14, QT_TRANSLATE_NOOP("StepTexts", "连续3次账号或密码错误，账号锁定！")},
    {0x15, QT_TRANSLATE_NOOP("StepTexts", "非法操作！")},
    {0x16, QT_TRANSLATE_NOOP("StepTexts", "登陆密码为初始密码，需要修改！")},
};

const RequestRow &rowOf(SessionRequest request)
{
    for (const RequestRow &row : REQUESTS) {
        if (row.request == request)
            return row;
    }
    return REQUESTS[0];
}

} // namespace

Failure StepTexts::failureOf(const StepResult &result)
{
    switch (result.outcome) {
    case StepOutcome::Done:
        return Failure::None;
    case StepOutcome::TimedOut:
        return Failure::Timeout;
    case StepOutcome::ChecksumFailure:
        return Failure::Checksum;
    case StepOutcome::Refused:
        return Failure::RefusedInput;
    case StepOutcome::LinkLost:
        return Failure::PortLost;
    case StepOutcome::ErrorReply:
        break;
    }
    switch (result.errorCode) {
    case ErrorCode::WRONG_CREDENTIALS:
        return Failure::LoginRefused;
    case ErrorCode::ACCOUNT_LOCKED:
        return Failure::AccountLocked;
    case ErrorCode::DEFAULT_PASSWORD:
        return Failure::ForcedPasswordChange;
    default:
        return Failure::ModuleError;
    }
}

QString StepTexts::message(SessionRequest request, const StepResult &result)
{
    const RequestRow &row = rowOf(request);
    switch (result.outcome) {
    case StepOutcome::Done:
        return QString();
    case StepOutcome::TimedOut:
        return tr(row.timedOut);
    case StepOutcome::ChecksumFailure:
        return tr(row.checksum);
    case StepOutcome::Refused:
        return tr(row.refused);
    case StepOutcome::LinkLost:
        return portLostText();
    case StepOutcome::ErrorReply:
        break;
    }
    return errorCodeText(result.errorCode);
}

QString StepTexts::portLostText()
{
    return tr("串口已断开");
}

QString StepTexts::errorCodeText(quint8 code)
{
    for (const CodeRow &row : CODES) {
        if (row.code == code)
            return tr(row.text);
    }
    return tr("未知的异常！");
}
