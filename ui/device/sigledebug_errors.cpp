#include "ui/device/sigledebug_errors.h"

#include <QCoreApplication>

namespace
{

struct ErrorTexts {
    quint8 code;
    const char *boxText;
    const char *logText;
};

const ErrorTexts ERROR_TEXTS[] = {
    {ErrorCode::ILLEGAL_FUNCTION, QT_TRANSLATE_NOOP("ErrorReply", "非法功能！"),
     QT_TRANSLATE_NOOP("ErrorReply", "反馈：非法功能！")},
    {ErrorCode::ILLEGAL_ADDRESS, QT_TRANSLATE_NOOP("ErrorReply", "非法数据地址！"),
     QT_TRANSLATE_NOOP("ErrorReply", "反馈：非法数据地址！")},
    {ErrorCode::ILLEGAL_VALUE, QT_TRANSLATE_NOOP("ErrorReply", "非法数据值！"),
     QT_TRANSLATE_NOOP("ErrorReply", "反馈：非法数据值！")},
    {ErrorCode::DEVICE_FAILURE, QT_TRANSLATE_NOOP("ErrorReply", "设备故障！"),
     QT_TRANSLATE_NOOP("ErrorReply", "反馈：设备故障！")},
    {ErrorCode::WRONG_CREDENTIALS, QT_TRANSLATE_NOOP("ErrorReply", "设备登录账号或密码错误！"),
     QT_TRANSLATE_NOOP("ErrorReply", "反馈：设备登录账号或口令错误！")},
    {ErrorCode::LOGIN_TIMED_OUT, QT_TRANSLATE_NOOP("ErrorReply", "登录超时！"), nullptr},
    {ErrorCode::ACCOUNT_LOCKED,
     QT_TRANSLATE_NOOP("ErrorReply", "连续3次账号或密码错误，账号锁定！"),
     QT_TRANSLATE_NOOP("ErrorReply", "反馈：连续3次账号或密码错误，账号锁定！")},
    {ErrorCode::ILLEGAL_OPERATION, QT_TRANSLATE_NOOP("ErrorReply", "非法操作！"),
     QT_TRANSLATE_NOOP("ErrorReply", "反馈：非法操作！")},
    {ErrorCode::DEFAULT_PASSWORD, nullptr, nullptr},
};

const ErrorTexts UNKNOWN_TEXTS = {0, QT_TRANSLATE_NOOP("ErrorReply", "未知的异常！"),
                                  QT_TRANSLATE_NOOP("ErrorReply", "反馈：未知的异常！")};

QString translated(const char *text)
{
    return text ? QCoreApplication::translate("ErrorReply", text) : QString();
}

} // namespace

ErrorReplyInfo errorReplyInfo(quint8 code)
{
    const ErrorTexts *texts = &UNKNOWN_TEXTS;
    for (const ErrorTexts &entry : ERROR_TEXTS) {
        if (entry.code == code)
            texts = &entry;
    }
    // The module's session time-out is always a box, over a cleared log view.
    const bool timedOut = code == ErrorCode::LOGIN_TIMED_OUT;
    return {translated(texts->boxText), translated(texts->logText), errorEffect(code), timedOut,
            timedOut};
}
