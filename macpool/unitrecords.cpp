#include "macpool/unitrecords.h"

#include "macpool/macpool_sql.h"

#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace MacPoolSql;

namespace
{
const char *const CREATE_TABLE =
    "CREATE TABLE IF NOT EXISTS mavo_unit_record(unit_id varchar(64) primary key, "
    "station varchar(255), slot varchar(64), port varchar(255), operator varchar(255), "
    "started_at varchar(32), ended_at varchar(32), ok integer, error varchar(64), "
    "failed_step varchar(64), wifi_mac varchar(32), fe_mac varchar(32), "
    "firmware_sha256 varchar(64), tool_version varchar(64), recipe_sha256 varchar(64), "
    "record text)";
const char *const CREATE_INDEXES[] = {
    "CREATE INDEX IF NOT EXISTS mavo_unit_record_wifi ON mavo_unit_record(wifi_mac)",
    "CREATE INDEX IF NOT EXISTS mavo_unit_record_fe ON mavo_unit_record(fe_mac)",
    "CREATE INDEX IF NOT EXISTS mavo_unit_record_start ON mavo_unit_record(started_at)",
};
const char *const COLUMNS = "unit_id, station, slot, port, operator, started_at, ended_at, ok, "
                            "error, failed_step, wifi_mac, fe_mac, firmware_sha256, "
                            "tool_version, recipe_sha256, record";
constexpr int COLUMN_COUNT = 16;

// A record's text value, or NULL when the key is missing.
QVariant textOf(const QJsonObject &record, const char *key)
{
    const QJsonValue value = record.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return QVariant(QVariant::String);
    return value.isString() ? value.toString() : value.toVariant().toString();
}

QVariant macOf(const QJsonObject &record, const char *key)
{
    const QVariant text = textOf(record, key);
    return text.isNull() ? text : QVariant(normalMac(text.toString()));
}

UnitRecordRow rowOf(const QSqlQuery &query)
{
    UnitRecordRow row;
    QString *texts[] = {&row.unitId,       &row.station,   &row.slot,   &row.port,
                        &row.operatorName, &row.startedAt, &row.endedAt};
    for (int i = 0; i < 7; ++i)
        *texts[i] = query.value(i).toString();
    row.ok = query.value(7).toInt() == 1;
    QString *rest[] = {&row.error,          &row.failedStep,  &row.wifiMac,     &row.feMac,
                       &row.firmwareSha256, &row.toolVersion, &row.recipeSha256};
    for (int i = 0; i < 7; ++i)
        *rest[i] = query.value(8 + i).toString();
    row.record = QJsonDocument::fromJson(query.value(15).toString().toUtf8()).object();
    return row;
}
} // namespace

QString normalMac(const QString &mac)
{
    quint64 value = 0;
    return parseStoredMac(mac.trimmed(), value) ? colonMac(value) : mac;
}

QVariantList unitRecordValues(const QJsonObject &record)
{
    const QJsonValue ok = record.value(QLatin1String("ok"));
    return {textOf(record, "unitId"),
            textOf(record, "station"),
            textOf(record, "slot"),
            textOf(record, "port"),
            textOf(record, "operator"),
            textOf(record, "startedAt"),
            textOf(record, "endedAt"),
            ok.isBool() ? QVariant(ok.toBool() ? 1 : 0) : QVariant(QVariant::Int),
            textOf(record, "error"),
            textOf(record, "failedStep"),
            macOf(record, "wifiMac"),
            macOf(record, "feMac"),
            textOf(record, "firmwareSha256"),
            textOf(record, "toolVersion"),
            textOf(record, "recipeSha256"),
            QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact))};
}

UnitRecordStore::UnitRecordStore(const QString &url) : pool(std::make_unique<MacPool>(url)) {}

UnitRecordStore::~UnitRecordStore() = default;

bool UnitRecordStore::createTable(QString &errorText)
{
    QSqlQuery query(QSqlDatabase::database(connectionName(), false));
    QString error;
    if (!run(query, QString::fromLatin1(CREATE_TABLE), {}, error)) {
        // Two stations creating it at once on a server: one of them loses.
        QString probe;
        if (!hasTable(probe)) {
            errorText = error;
            return false;
        }
    }
    for (const char *index : CREATE_INDEXES) {
        if (!run(query, QString::fromLatin1(index), {}, error) && !hasTable(error)) {
            errorText = error;
            return false;
        }
    }
    return true;
}

bool UnitRecordStore::hasTable(QString &errorText)
{
    QSqlQuery query(QSqlDatabase::database(connectionName(), false));
    const QString sql = postgres()
                            ? QStringLiteral("SELECT count(*) FROM information_schema.tables "
                                             "WHERE table_name = ?")
                            : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE "
                                             "type = 'table' AND name = ?");
    if (!run(query, sql, {unitRecordTableName}, errorText) || !query.next())
        return false;
    return query.value(0).toInt() > 0;
}

bool UnitRecordStore::insert(const QList<QJsonObject> &records, QString &errorText, int *added)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName(), false);
    if (!begin(db, postgres(), errorText))
        return false;
    int count = 0;
    {
        QSqlQuery query(db);
        const QString sql =
            QStringLiteral("INSERT INTO mavo_unit_record(%1) VALUES(%2) ON CONFLICT (unit_id) "
                           "DO NOTHING")
                .arg(QLatin1String(COLUMNS), marks(COLUMN_COUNT));
        bool ok = query.prepare(sql);
        for (int i = 0; ok && i < records.size(); ++i) {
            const QVariantList values = unitRecordValues(records.at(i));
            for (int v = 0; v < values.size(); ++v)
                query.bindValue(v, values.at(v));
            ok = query.exec();
            count += ok ? qMax(0, query.numRowsAffected()) : 0;
        }
        if (!ok) {
            errorText = query.lastError().text();
            query.clear();
            rollback(db, postgres());
            return false;
        }
    }
    if (!commit(db, postgres(), errorText))
        return false;
    if (added)
        *added = count;
    return true;
}

QString UnitRecordStore::conditions(const UnitRecordFilter &filter, QVariantList &values)
{
    QStringList parts{QStringLiteral("1=1")};
    const auto add = [&](bool when, const QString &part, const QVariantList &more) {
        if (when) {
            parts << part;
            values << more;
        }
    };
    add(!filter.since.isEmpty(), QStringLiteral("started_at >= ?"), {filter.since});
    add(!filter.until.isEmpty(), QStringLiteral("started_at < ?"), {filter.until});
    add(!filter.station.isEmpty(), QStringLiteral("station = ?"), {filter.station});
    add(!filter.slot.isEmpty(), QStringLiteral("slot = ?"), {filter.slot});
    const QString mac = normalMac(filter.mac);
    add(!filter.mac.isEmpty(), QStringLiteral("(wifi_mac = ? OR fe_mac = ?)"), {mac, mac});
    add(filter.failedOnly, QStringLiteral("ok = 0"), {});
    return parts.join(QStringLiteral(" AND "));
}

QList<UnitRecordRow> UnitRecordStore::select(const UnitRecordFilter &filter, QString &errorText)
{
    QVariantList values;
    const QString sql =
        QStringLiteral("SELECT %1 FROM mavo_unit_record WHERE %2 ORDER BY started_at, unit_id")
            .arg(QLatin1String(COLUMNS), conditions(filter, values));
    QSqlQuery query(QSqlDatabase::database(connectionName(), false));
    query.setForwardOnly(true);
    QList<UnitRecordRow> rows;
    if (!run(query, sql, values, errorText))
        return rows;
    while (query.next())
        rows << rowOf(query);
    return rows;
}

bool UnitRecordStore::lastUse(const QString &mac, UnitRecordRow &row, QString &errorText)
{
    const QString sql = QStringLiteral("SELECT %1 FROM mavo_unit_record WHERE wifi_mac = ? OR "
                                       "fe_mac = ? ORDER BY started_at DESC, unit_id LIMIT 1")
                            .arg(QLatin1String(COLUMNS));
    const QString colon = normalMac(mac);
    QSqlQuery query(QSqlDatabase::database(connectionName(), false));
    if (!run(query, sql, {colon, colon}, errorText) || !query.next())
        return false;
    row = rowOf(query);
    return true;
}
