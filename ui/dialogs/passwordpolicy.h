#pragma once

#include "base/passwordstrength.h"

#include <QString>

#include <initializer_list>

class QLabel;
class QLineEdit;

// The strength indicator of the Wi-Fi password dialog and the login
// settings dialog; the rules themselves are in base/passwordstrength.h.

// The translated indicator text of a level; empty for Unchanged.
QString strengthLevelText(StrengthLevel level);

// "color:red;" for TooShort and Low, "color:green;" for Medium and High,
// empty for Unchanged.
QString strengthLevelStyle(StrengthLevel level);

// Shows the indicator for password on label; an empty password leaves the
// label untouched.
void showPasswordStrength(QLabel *label, const QString &password);

// The rejection of a new password whose score is too low, stating the rule.
QString weakPasswordRejection();

// After a rejection: empties `cleared` and puts the cursor in `atFault`.
void refocusRejected(QLineEdit *atFault, std::initializer_list<QLineEdit *> cleared);

// The style of every rejection message in the dialogs.
inline QString rejectionStyle()
{
    return QStringLiteral("color:red;");
}
