#include "ui/dialogs/passwordpolicy.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

QString strengthLevelText(StrengthLevel level)
{
    switch (level) {
    case StrengthLevel::Unchanged:
        return QString();
    case StrengthLevel::TooShort:
        return QCoreApplication::translate("PasswordPolicy", "新密码少于8位！");
    case StrengthLevel::Low:
        return QCoreApplication::translate("PasswordPolicy", "密码复杂等级：低");
    case StrengthLevel::Medium:
        return QCoreApplication::translate("PasswordPolicy", "密码复杂等级：中");
    case StrengthLevel::High:
        return QCoreApplication::translate("PasswordPolicy", "密码复杂等级：高");
    }
    return QString();
}

QString strengthLevelStyle(StrengthLevel level)
{
    switch (level) {
    case StrengthLevel::Unchanged:
        return QString();
    case StrengthLevel::TooShort:
    case StrengthLevel::Low:
        return QStringLiteral("color:red;");
    case StrengthLevel::Medium:
    case StrengthLevel::High:
        return QStringLiteral("color:green;");
    }
    return QString();
}

void showPasswordStrength(QLabel *label, const QString &password)
{
    const StrengthLevel level = passwordStrengthLevel(password);
    if (level == StrengthLevel::Unchanged)
        return;
    label->setStyleSheet(strengthLevelStyle(level));
    label->setText(strengthLevelText(level));
}

QString weakPasswordRejection()
{
    return QCoreApplication::translate(
        "PasswordPolicy", "新密码强度太弱：8到11位的新密码须包含大写字母、小写字母、数字、"
                          "其他字符中的至少两类（12位及以上不限），请重新输入！");
}

void refocusRejected(QLineEdit *atFault, std::initializer_list<QLineEdit *> cleared)
{
    for (QLineEdit *field : cleared)
        field->clear();
    atFault->setFocus(Qt::OtherFocusReason);
}
