#include "base/logging.h"

#include <QStringList>

namespace
{

const char *const CRYPTO_CATEGORY = "maint.crypto";

QLoggingCategory::CategoryFilter qtFilter = nullptr;

// Qt's own filter first (default levels and every configured rule), then the
// secrets category is held off unless the environment's rules name it.
void keepSecretsExplicit(QLoggingCategory *category)
{
    if (qtFilter)
        qtFilter(category);
    if (qstrcmp(category->categoryName(), CRYPTO_CATEGORY) != 0 || !category->isDebugEnabled())
        return;
    const QString rules = qEnvironmentVariable("QT_LOGGING_RULES");
    category->setEnabled(QtDebugMsg,
                         rulesNameCategoryExactly(rules, QString::fromLatin1(CRYPTO_CATEGORY)));
}

// Installed while the library's static objects are built, so before any
// category is asked; Qt applies it again whenever its rules change.
const bool FILTER_INSTALLED =
    (qtFilter = QLoggingCategory::installFilter(keepSecretsExplicit), true);

} // namespace

Q_LOGGING_CATEGORY(lcSerial, "maint.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcProtocol, "maint.protocol", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTransfer, "maint.transfer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMacpool, "maint.macpool", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCrypto, "maint.crypto", QtInfoMsg)

bool rulesNameCategoryExactly(const QString &rules, const QString &category)
{
    Q_UNUSED(FILTER_INSTALLED)
    bool enabled = false;
    const QString debugName = category + QStringLiteral(".debug");
    const QStringList lines = QString(rules)
                                  .replace(QLatin1Char(';'), QLatin1Char('\n'))
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (name != category && name != debugName)
            continue;
        if (value == QLatin1String("true"))
            enabled = true;
        else if (value == QLatin1String("false"))
            enabled = false;
    }
    return enabled;
}
