#include "cli/records.h"

#include "base/logging.h"
#include "cli/console.h"
#include "cli/recordsreport.h"
#include "macpool/unityield.h"
#include "provision/recordsink.h"
#include "provision/unitoutcome.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QSaveFile>

namespace
{
class RecordsTexts
{
    Q_DECLARE_TR_FUNCTIONS(RecordsTexts)
};

const QStringList LIST_COLUMNS{QStringLiteral("unitId"),         QStringLiteral("startedAt"),
                               QStringLiteral("endedAt"),        QStringLiteral("station"),
                               QStringLiteral("slot"),           QStringLiteral("port"),
                               QStringLiteral("operator"),       QStringLiteral("ok"),
                               QStringLiteral("error"),          QStringLiteral("failedStep"),
                               QStringLiteral("wifiMac"),        QStringLiteral("feMac"),
                               QStringLiteral("firmwareSha256"), QStringLiteral("toolVersion"),
                               QStringLiteral("recipeSha256")};

int refused(Console *console, const QString &text)
{
    console->failure(Failure::RefusedInput, text);
    return ExitStatus::USAGE;
}

int unavailable(Console *console, const QString &redactedUrl, const QString &driverText)
{
    qCDebug(lcMacpool).noquote() << redactedUrl << driverText;
    const QString text = RecordsTexts::tr("记录数据库%1不可用").arg(redactedUrl);
    console->failure(Failure::PoolUnavailable, text);
    return ExitStatus::POOL;
}

QStringList cellsOf(const UnitRecordRow &row)
{
    return {row.unitId,         row.startedAt,
            row.endedAt,        row.station,
            row.slot,           row.port,
            row.operatorName,   row.ok ? QStringLiteral("1") : QStringLiteral("0"),
            row.error,          row.failedStep,
            row.wifiMac,        row.feMac,
            row.firmwareSha256, row.toolVersion,
            row.recipeSha256};
}

QString csvCell(const QString &cell)
{
    if (!cell.contains(QLatin1Char(',')) && !cell.contains(QLatin1Char('"')) &&
        !cell.contains(QLatin1Char('\n')))
        return cell;
    QString quoted = cell;
    return QLatin1Char('"') + quoted.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString csvLine(const QStringList &cells)
{
    QStringList quoted;
    for (const QString &cell : cells)
        quoted << csvCell(cell);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

int list(const CliOptions &options, const QList<UnitRecordRow> &rows, Console *console)
{
    if (options.csv) {
        QString text = csvLine(LIST_COLUMNS);
        for (const UnitRecordRow &row : rows)
            text += csvLine(cellsOf(row));
        console->print(text);
    } else if (console->json()) {
        for (const UnitRecordRow &row : rows)
            console->jsonLine(row.record);
    } else {
        QString text;
        for (const UnitRecordRow &row : rows)
            text += QStringList{row.startedAt,
                                row.station,
                                row.slot,
                                row.port,
                                row.ok ? QStringLiteral("OK") : QStringLiteral("FAIL"),
                                row.error,
                                row.failedStep,
                                row.wifiMac,
                                row.feMac,
                                row.unitId}
                        .join(QLatin1Char('\t')) +
                    QLatin1Char('\n');
        console->print(text + RecordsTexts::tr("共%1条记录\n").arg(rows.size()));
    }
    return ExitStatus::OK;
}

QJsonObject yieldJson(const YieldRow &row)
{
    return {{QStringLiteral("group"), row.group},
            {QStringLiteral("records"), double(row.records)},
            {QStringLiteral("units"), double(row.units)},
            {QStringLiteral("passed"), double(row.passed)},
            {QStringLiteral("failed"), double(row.failed)},
            {QStringLiteral("firstPass"), double(row.firstPass)},
            {QStringLiteral("firstPassYield"), row.firstPassYield()}};
}

QString yieldText(const YieldRow &row)
{
    return RecordsTexts::tr("%1\t设备 %2\t通过 %3\t失败 %4\t一次通过 %5（%6%）\t记录 %7\n")
        .arg(row.group.isEmpty() ? RecordsTexts::tr("合计") : row.group)
        .arg(row.units)
        .arg(row.passed)
        .arg(row.failed)
        .arg(row.firstPass)
        .arg(row.firstPassYield() * 100.0, 0, 'f', 1)
        .arg(row.records);
}

int yield(const YieldReport &report, const QString &by, Console *console)
{
    QJsonArray groups;
    QJsonArray failures;
    QString text = yieldText(report.total);
    for (const YieldRow &row : report.groups) {
        groups.append(yieldJson(row));
        text += yieldText(row);
    }
    text += RecordsTexts::tr("失败（步骤/错误/次数）：\n");
    for (const FailureRow &row : report.failures) {
        failures.append(QJsonObject{{QStringLiteral("step"), row.step},
                                    {QStringLiteral("error"), row.error},
                                    {QStringLiteral("count"), double(row.count)}});
        text += QStringLiteral("%1\t%2\t%3\n").arg(row.step, row.error).arg(row.count);
    }
    QJsonObject fields = yieldJson(report.total);
    fields.remove(QStringLiteral("group"));
    fields.insert(QStringLiteral("ok"), true);
    fields.insert(QStringLiteral("by"), by);
    fields.insert(QStringLiteral("groups"), groups);
    fields.insert(QStringLiteral("failures"), failures);
    console->plainResult(fields, text);
    return ExitStatus::OK;
}

int report(const CliOptions &options, UnitRecordStore &store, const UnitRecordFilter &filter,
           Console *console)
{
    RecordsReportData data;
    data.title = RecordsTexts::tr("KB-R5530 生产记录 %1")
                     .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    UnitRecordFilter failed = filter;
    failed.failedOnly = true;
    QString error;
    if (!computeYield(store, filter, YieldBy::Day, data.byDay, error) ||
        !computeYield(store, filter, YieldBy::Station, data.byStation, error))
        return unavailable(console, store.url().redacted(), error);
    data.failed = store.select(failed, error);
    if (!error.isEmpty())
        return unavailable(console, store.url().redacted(), error);
    QSaveFile file(options.html);
    const QByteArray html = recordsReportHtml(data);
    if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size() || !file.commit())
        return refused(console, RecordsTexts::tr("无法写入%1").arg(options.html));
    console->plainResult(
        {{QStringLiteral("ok"), true},
         {QStringLiteral("file"), options.html},
         {QStringLiteral("bytes"), double(html.size())}},
        RecordsTexts::tr("报告已写入%1（%2字节）").arg(options.html).arg(html.size()));
    return ExitStatus::OK;
}

int flush(const QString &url, const QString &redacted, Console *console)
{
    RecordSink sink(url);
    QString problem;
    const int uploaded = sink.flush(&problem);
    if (uploaded < 0)
        return unavailable(console, redacted, problem);
    console->plainResult(
        {{QStringLiteral("ok"), true},
         {QStringLiteral("uploaded"), uploaded},
         {QStringLiteral("waiting"), sink.spoolCount()}},
        RecordsTexts::tr("已上传%1条缓存记录，仍有%2条等待").arg(uploaded).arg(sink.spoolCount()));
    return ExitStatus::OK;
}

bool readFilter(const CliOptions &options, UnitRecordFilter *filter, QString *why)
{
    filter->station = options.station;
    filter->slot = options.slot;
    filter->mac = options.mac;
    filter->failedOnly = options.failedOnly;
    if (RecordsCommands::utcBound(options.since, false, &filter->since) &&
        RecordsCommands::utcBound(options.until, true, &filter->until))
        return true;
    *why = RecordsTexts::tr("日期应为yyyy-MM-dd或ISO 8601时间");
    return false;
}

int query(const CliOptions &options, const QString &url, Console *console)
{
    UnitRecordFilter filter;
    QString error;
    if (!readFilter(options, &filter, &error))
        return refused(console, error);
    UnitRecordStore store(url);
    if (!store.isOpen())
        return unavailable(console, store.url().redacted(), store.openError());
    const bool present = store.hasTable(error);
    if (!error.isEmpty())
        return unavailable(console, store.url().redacted(), error);
    if (!present && !store.createTable(error)) // an empty table answers as no records
        return unavailable(console, store.url().redacted(), error);
    if (options.command == Command::RecordsReport)
        return report(options, store, filter, console);
    if (options.command == Command::RecordsYield) {
        YieldReport counted;
        YieldBy by = YieldBy::None;
        parseYieldBy(options.by, by);
        if (!computeYield(store, filter, by, counted, error))
            return unavailable(console, store.url().redacted(), error);
        return yield(counted, options.by, console);
    }
    const QList<UnitRecordRow> rows = store.select(filter, error);
    if (!error.isEmpty())
        return unavailable(console, store.url().redacted(), error);
    return list(options, rows, console);
}
} // namespace

namespace RecordsCommands
{

bool utcBound(const QString &text, bool dayEnd, QString *bound)
{
    bound->clear();
    if (text.trimmed().isEmpty())
        return true;
    const QDate day = QDate::fromString(text.trimmed(), Qt::ISODate);
    QDateTime at;
    if (day.isValid() && text.trimmed().size() == 10)
        at = QDateTime(dayEnd ? day.addDays(1) : day, QTime(0, 0), Qt::UTC);
    else
        at = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!at.isValid())
        return false;
    *bound = at.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    return true;
}

int run(const CliOptions &options, Console *console)
{
    const QString url = options.poolUrl.isEmpty() ? localPoolUrl() : options.poolUrl;
    MacPoolUrl parsed;
    QString error;
    if (!MacPoolUrl::parse(url, parsed, error))
        return refused(console, error);
    if (options.command == Command::RecordsFlush)
        return flush(url, parsed.redacted(), console);
    return query(options, url, console);
}

} // namespace RecordsCommands
