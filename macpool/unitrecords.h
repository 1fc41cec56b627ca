#pragma once

// The line's unit records in the pool's database: one row per unit attempt in
// mavo_unit_record, keyed by the unit's UUID, with the columns a line asks
// about (station, slot, port, operator, UTC start and end, verdict, error,
// failed step, MAC addresses after the run, firmware, tool and recipe) and
// the whole record as JSON text. A key already stored is skipped, never
// stored twice. A missing record key leaves its column NULL.
//
// A UnitRecordStore opens a connection of its own (as MacPool does, under a
// name unique to the thread and the object) and must be used only on the
// thread that created it. A missing SQLite file is not created. Failures
// come back through `errorText`, left untouched on success.

#include "macpool/macpool.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

inline const QString unitRecordTableName = QStringLiteral("mavo_unit_record");

// One stored record as read back.
struct UnitRecordRow {
    QString unitId;
    QString station;
    QString slot;
    QString port;
    QString operatorName;
    QString startedAt; // UTC, ISO 8601 with Z
    QString endedAt;
    bool ok = false;
    QString error;
    QString failedStep;
    QString wifiMac;
    QString feMac;
    QString firmwareSha256;
    QString toolVersion;
    QString recipeSha256;
    QJsonObject record;
};

// Which rows a listing or a yield takes; an empty text adds no condition.
// since and until compare with the start time (UTC ISO text), since
// inclusive, until exclusive; mac matches the Wi-Fi or the FE address.
struct UnitRecordFilter {
    QString since;
    QString until;
    QString station;
    QString slot;
    QString mac;
    bool failedOnly = false;
};

class UnitRecordStore
{
public:
    // Opens the database of the pool `url`; check isOpen() afterwards.
    explicit UnitRecordStore(const QString &url);
    ~UnitRecordStore();
    UnitRecordStore(const UnitRecordStore &) = delete;
    UnitRecordStore &operator=(const UnitRecordStore &) = delete;

    bool isOpen() const { return pool->isOpen(); }
    QString openError() const { return pool->openError(); }
    const MacPoolUrl &url() const { return pool->url(); }
    bool postgres() const { return pool->url().kind == MacPoolUrl::POSTGRESQL; }
    const QString &connectionName() const { return pool->connectionName(); }

    // Creates the table and its indexes where missing; keeps rows.
    bool createTable(QString &errorText);
    // Whether the table exists (false with errorText set when the question failed).
    bool hasTable(QString &errorText);
    // Stores `records` in one transaction through one prepared statement;
    // records whose unitId is stored already are skipped. `added` (when
    // given) receives the rows that went in. All or nothing.
    bool insert(const QList<QJsonObject> &records, QString &errorText, int *added = nullptr);
    // The filtered rows ordered by start time and key.
    QList<UnitRecordRow> select(const UnitRecordFilter &filter, QString &errorText);
    // The latest record whose Wi-Fi or FE address is `mac` (any stored form);
    // false when there is none or the question failed.
    bool lastUse(const QString &mac, UnitRecordRow &row, QString &errorText);

    // The filter's conditions on the table's columns ("1=1" for none) and their values.
    static QString conditions(const UnitRecordFilter &filter, QVariantList &values);

private:
    std::unique_ptr<MacPool> pool;
};

// The table's columns for one record, in the insert's order.
QVariantList unitRecordValues(const QJsonObject &record);
// "HH:MM" MAC text in colon form when it parses, else as given.
QString normalMac(const QString &mac);
