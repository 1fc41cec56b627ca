#pragma once

// The debug traces of each area, all off by default so that the console stays
// quiet. A technician turns an area on with Qt's standard rules, e.g.
//   QT_LOGGING_RULES="maint.protocol.debug=true" maintenance-tool
//
// maint.crypto carries every line that gives a credential away: the
// credential key and IV, the credential fields as they go over the line, the
// derived key and the Wi-Fi password. It is on only while QT_LOGGING_RULES
// names it exactly ("maint.crypto.debug=true"); wildcards such as
// "*.debug=true" or "maint.*.debug=true" leave it off.

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcSerial)   // "maint.serial": port-list changes
Q_DECLARE_LOGGING_CATEGORY(lcProtocol) // "maint.protocol": frames in upper-case hex
Q_DECLARE_LOGGING_CATEGORY(lcTransfer) // "maint.transfer": upgrade and log blocks
Q_DECLARE_LOGGING_CATEGORY(lcMacpool)  // "maint.macpool": SQL statements
Q_DECLARE_LOGGING_CATEGORY(lcCrypto)   // "maint.crypto": credential secrets

// True when `rules` (QT_LOGGING_RULES form: rules separated by ';' or new
// lines, "<category>[.<level>]=true|false") switch the debug lines of
// `category` on by a rule that names it exactly, without a wildcard. Of
// several such rules the last one counts, as in Qt's own rules.
bool rulesNameCategoryExactly(const QString &rules, const QString &category);
