#include "cli/pool.h"

#include "cli/console.h"
#include "macpool/macpool.h"
#include "provision/unitoutcome.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace
{

class PoolTexts
{
    Q_DECLARE_TR_FUNCTIONS(PoolTexts)
};

int failed(Console *console, const QString &text, int status = ExitStatus::FAILED)
{
    console->plainResult({{QStringLiteral("ok"), false}, {QStringLiteral("message"), text}},
                         QString());
    console->warn(text);
    return status;
}

int generate(const CliOptions &options, MacPool *pool, Console *console)
{
    quint64 start = 0;
    MacRange range;
    QString why;
    if (!parseStoredMac(options.rangeStart.trimmed(), start))
        return failed(console, PoolTexts::tr("起始MAC地址%1不是6个字节").arg(options.rangeStart),
                      ExitStatus::USAGE);
    const QString digits = colonMac(start).remove(QLatin1Char(':'));
    if (!planMacRange(digits, options.rangeCount, options.headLength, options.step, QString(),
                      range, why))
        return failed(console, why, ExitStatus::USAGE);
    QString error;
    if (!pool->createTables(error) || !pool->generate(range, QString(), error))
        return failed(console, error);
    const QString first = colonMac(range.address(0));
    const QString last = colonMac(range.address(range.count - 1));
    console->plainResult(
        {{QStringLiteral("ok"), true},
         {QStringLiteral("count"), range.count},
         {QStringLiteral("first"), first},
         {QStringLiteral("last"), last}},
        PoolTexts::tr("已生成%1个MAC地址：%2 - %3").arg(range.count).arg(first, last));
    return ExitStatus::OK;
}

int stats(MacPool *pool, Console *console)
{
    QString error;
    const MacPoolStats counts = pool->stats(error);
    if (!error.isEmpty())
        return failed(console, error);
    console->plainResult({{QStringLiteral("ok"), true},
                          {QStringLiteral("total"), double(counts.total)},
                          {QStringLiteral("used"), double(counts.used)},
                          {QStringLiteral("free"), double(counts.free)},
                          {QStringLiteral("claimed"), double(counts.claimed)},
                          {QStringLiteral("quarantined"), double(counts.quarantined)}},
                         PoolTexts::tr("总数 %1，已用 %2，空闲 %3，预留 %4，隔离 %5")
                             .arg(counts.total)
                             .arg(counts.used)
                             .arg(counts.free)
                             .arg(counts.claimed)
                             .arg(counts.quarantined));
    return ExitStatus::OK;
}

QString holdName(MacHold hold)
{
    switch (hold) {
    case MacHold::CLAIMED:
        return QStringLiteral("claimed");
    case MacHold::QUARANTINED:
        return QStringLiteral("quarantined");
    case MacHold::NONE:
        break;
    }
    return QString();
}

int list(const CliOptions &options, MacPool *pool, Console *console)
{
    MacFilter filter;
    if (options.listing == CliOptions::Listing::Free)
        filter.isUsed = 0;
    else if (options.listing == CliOptions::Listing::Used)
        filter.isUsed = 1;
    QString error;
    const int pages = pool->countPages(filter, error);
    const QList<MacRow> rows = pool->page(options.page, filter, error);
    if (!error.isEmpty())
        return failed(console, error);
    QJsonArray shown;
    QString text;
    for (const MacRow &row : rows) {
        shown.append(QJsonObject{{QStringLiteral("mac"), row.MacAddr},
                                 {QStringLiteral("created"), row.CreateDateTime},
                                 {QStringLiteral("used"), row.IsUsed == 1},
                                 {QStringLiteral("usedAt"), row.UsedDateTime},
                                 {QStringLiteral("boardType"), row.BoardType},
                                 {QStringLiteral("barCode"), row.BarCode},
                                 {QStringLiteral("operator"), row.Operator},
                                 {QStringLiteral("batch"), row.batchNum},
                                 {QStringLiteral("hold"), holdName(row.hold)},
                                 {QStringLiteral("note"), row.holdNote}});
        text += QStringList{row.MacAddr,      row.CreateDateTime, QString::number(row.IsUsed),
                            row.UsedDateTime, row.Operator,       holdName(row.hold)}
                    .join(QLatin1Char('\t')) +
                QLatin1Char('\n');
    }
    text += PoolTexts::tr("第%1页，共%2页").arg(options.page).arg(pages);
    console->plainResult({{QStringLiteral("ok"), true},
                          {QStringLiteral("page"), options.page},
                          {QStringLiteral("pages"), pages},
                          {QStringLiteral("rows"), shown}},
                         text);
    return ExitStatus::OK;
}

} // namespace

namespace PoolCommands
{

int run(const CliOptions &options, Console *console)
{
    const QString url = options.poolUrl.isEmpty() ? localPoolUrl() : options.poolUrl;
    MacPoolUrl parsed;
    QString error;
    if (!MacPoolUrl::parse(url, parsed, error))
        return failed(console, error, ExitStatus::USAGE);
    MacPool pool(url);
    if (!pool.isOpen())
        return failed(
            console,
            PoolTexts::tr("无法打开MAC地址池%1：%2").arg(parsed.redacted(), pool.openError()));
    switch (options.command) {
    case Command::PoolGenerate:
        return generate(options, &pool, console);
    case Command::PoolStats:
        return stats(&pool, console);
    default:
        return list(options, &pool, console);
    }
}

} // namespace PoolCommands
