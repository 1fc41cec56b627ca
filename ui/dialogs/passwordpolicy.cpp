#include "ui/dialogs/passwordpolicy.h"

#include <QCoreApplication>
#include <QLabel>

QString strengthLevelText(StrengthLevel level)
{
    switch (level) {
    case StrengthLevel::Unchanged:
        return QString();
    case StrengthLevel::TooShort:
        return QCoreApplication::translate("PasswordPolicy", "当前密码少于8位！");
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
