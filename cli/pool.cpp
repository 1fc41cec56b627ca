#include "cli/pool.h"

#include "base/logging.h"
#include "cli/console.h"
#include "macpool/macpool.h"
#include "provision/unitoutcome.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>

namespace
{

class PoolTexts
{
    Q_DECLARE_TR_FUNCTIONS(PoolTexts)
};

// Refused input (USAGE) carries its key; another failure only its message.
int failed(Console *console, const QString &text, int status = ExitStatus::FAILED)
{
    if (status == ExitStatus::USAGE) {
        console->failure(Failure::RefusedInput, text);
        return status;
    }
    console->plainResult({{QStringLiteral("ok"), false}, {QStringLiteral("message"), text}},
                         QString());
    console->warn(text);
    return status;
}

// The pool failed or went away: one line (`ownText` when given), the
// driver's text in the debug log.
int unavailable(Console *console, const MacPool &pool, const QString &driverText,
                const QString &ownText = QString())
{
    qCDebug(lcMacpool).noquote() << pool.url().redacted() << driverText;
    const QString text =
        ownText.isEmpty() ? PoolTexts::tr("MAC地址池%1不可用").arg(pool.url().redacted()) : ownText;
    console->failure(Failure::PoolUnavailable, text);
    return ExitStatus::POOL;
}

// A range that overlaps the pool is refused whole, as input (exit 2).
int overlapping(Console *console, const QString &stored)
{
    return failed(
        console,
        PoolTexts::tr("MAC地址%1已在地址池中：生成范围与已有地址重叠，未生成任何地址").arg(stored),
        ExitStatus::USAGE);
}

// The range a generation asks for; empty `why` when it may be stored.
MacRange plannedRange(const CliOptions &options, QString *why)
{
    quint64 start = 0;
    MacRange range;
    if (!parseStoredMac(options.rangeStart.trimmed(), start)) {
        *why = PoolTexts::tr("起始MAC地址%1不是6个字节").arg(options.rangeStart);
        return range;
    }
    const QString digits = colonMac(start).remove(QLatin1Char(':'));
    planMacRange(digits, options.rangeCount, options.headLength, options.step, QString(), range,
                 *why);
    return range;
}

int generate(const MacRange &range, MacPool *pool, Console *console)
{
    QString error;
    if (!pool->createTables(error))
        return unavailable(console, *pool, error);
    QString clash = pool->firstClash(range, error);
    if (!clash.isEmpty())
        return overlapping(console, clash);
    if (!error.isEmpty() || !pool->generate(range, QString(), error)) {
        QString again;
        clash = pool->firstClash(range, again); // another station generated meanwhile
        return clash.isEmpty() ? unavailable(console, *pool, error) : overlapping(console, clash);
    }
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
        return unavailable(console, *pool, error);
    console->plainResult(
        {{QStringLiteral("ok"), true},
         {QStringLiteral("total"), double(counts.total)},
         {QStringLiteral("used"), double(counts.used)},
         {QStringLiteral("free"), double(counts.free)},
         {QStringLiteral("claimed"), double(counts.claimed)},
         {QStringLiteral("writing"), double(counts.writing)},
         {QStringLiteral("unknown"), double(counts.unknown)},
         {QStringLiteral("quarantined"), double(counts.quarantined)}},
        PoolTexts::tr("总数 %1，已用 %2，空闲 %3，预留 %4，写入中 %5，未知 %6，隔离 %7")
            .arg(counts.total)
            .arg(counts.used)
            .arg(counts.free)
            .arg(counts.claimed)
            .arg(counts.writing)
            .arg(counts.unknown)
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
    case MacHold::WRITING:
        return QStringLiteral("writing");
    case MacHold::UNKNOWN:
        return QStringLiteral("unknown");
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
        return unavailable(console, *pool, error);
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

QString whoReleases(const CliOptions &options)
{
    const QString given = options.operatorName.trimmed();
    return given.isEmpty() ? qEnvironmentVariable("USER") : given;
}

// A person gives an unknown address back, with who, when and why on record.
int release(const CliOptions &options, MacPool *pool, Console *console)
{
    const QString who = whoReleases(options);
    if (who.isEmpty() || options.reason.trimmed().isEmpty())
        return failed(console, PoolTexts::tr("请给出--reason和--operator（或设置$USER）"),
                      ExitStatus::USAGE);
    QString error;
    if (!pool->releaseUnknown(options.releaseMac, who, options.reason, error)) {
        QString probe;
        pool->stateOf(options.releaseMac, probe);
        return probe.isEmpty() ? failed(console, error, ExitStatus::USAGE)
                               : unavailable(console, *pool, probe);
    }
    console->plainResult(
        {{QStringLiteral("ok"), true},
         {QStringLiteral("mac"), options.releaseMac},
         {QStringLiteral("operator"), who},
         {QStringLiteral("reason"), options.reason}},
        PoolTexts::tr("已放回地址池：%1（%2：%3）").arg(options.releaseMac, who, options.reason));
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
    // A refused range touches no pool, not even a missing file.
    const MacRange range =
        options.command == Command::PoolGenerate ? plannedRange(options, &error) : MacRange();
    if (!error.isEmpty())
        return failed(console, error, ExitStatus::USAGE);
    // Only a generation creates a missing SQLite file.
    MacPool pool(url, QString(),
                 options.command == Command::PoolGenerate ? MissingPoolFile::Create
                                                          : MissingPoolFile::Refuse);
    if (!pool.isOpen()) {
        const bool missing = parsed.kind == MacPoolUrl::SQLITE && !QFileInfo::exists(parsed.path);
        return unavailable(console, pool, pool.openError(), missing ? pool.openError() : QString());
    }
    if (options.command != Command::PoolGenerate && !pool.hasTables(error))
        return unavailable(console, pool, error, error);
    switch (options.command) {
    case Command::PoolGenerate:
        return generate(range, &pool, console);
    case Command::PoolStats:
        return stats(&pool, console);
    case Command::PoolRelease:
        return release(options, &pool, console);
    default:
        return list(options, &pool, console);
    }
}

} // namespace PoolCommands
