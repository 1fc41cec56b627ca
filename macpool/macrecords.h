#pragma once

// The MAC address pool's records, filters and statements: the names of its
// tables, the rows the store hands out, and the SELECT statements of a
// filter with their bound values. Plain values and functions; no database
// connection here.

#include "base/macaddress.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QtGlobal>

// Database file, relative to the working directory of the process.
inline const QString macDbFileName = QStringLiteral("NorbexMacSN.db");
inline const QString macTableName = QStringLiteral("mavo_rfid_mac");
// Prefix of the pool's connection names; every MacPool adds its thread and a
// serial number, so threads and ports never take one another's connection.
inline const QString macConnectionName = QStringLiteral("nb_mac_sn");

namespace MacStore
{
constexpr int PAGE_ROWS = 50;
// isUsed of a MacFilter that adds no condition.
constexpr int ANY_USE = 2;
} // namespace MacStore

// What markMacUsed records for one address.
struct MacUsageRecord {
    QString MacAddr;
    qint32 IsUsed = 1;
    QString BoardType;
    QString BarCode;
    QString Operator;
};

// Filter of countMacPages and selectMacPage. isUsed 0 or 1 selects that
// state, any other value all rows; a text member adds its condition when not
// empty. mac, barCode, createDate and usedDate select values that begin with
// the text (ASCII case ignored, so a date selects its whole day); boardType,
// operatorName and batch select equal values.
struct MacFilter {
    qint32 isUsed = MacStore::ANY_USE;
    QString mac;
    QString barCode;
    QString boardType;
    QString createDate;
    QString usedDate;
    QString operatorName;
    QString batch;
};

// How an address is held outside IsUsed: a live reservation, a write in
// progress, a quarantine, or a write whose outcome nobody recorded before
// its reservation expired (UNKNOWN: never handed out again by itself).
enum class MacHold { NONE, CLAIMED, QUARANTINED, WRITING, UNKNOWN };

// One address row as the store hands it out: the eight columns of the address
// table in table order, plus its hold (a live reservation or a quarantine,
// with the reason given for a quarantine).
struct MacRow {
    QString MacAddr;
    QString CreateDateTime;
    qint32 IsUsed = 0;
    QString UsedDateTime;
    QString BoardType;
    QString BarCode;
    QString Operator;
    QString batchNum;
    MacHold hold = MacHold::NONE;
    QString holdNote;
};

// The page text of rows: one entry per row joined by ";", within an entry the
// eight columns as text joined by "|". A formatter for traces and scripts
// only; a "|" or ";" inside a value is not escaped.
QString macPageText(const QList<MacRow> &rows);

// A statement with its bound values, in the order of their "?" marks.
struct MacStatement {
    QString sql;
    QVariantList values;
};

// The statement text with the values filled in (single-quoted, quotes
// doubled), for the debug log only.
QString traceMacStatement(const MacStatement &statement);

// The SQL flavour of a statement: PostgreSQL compares LIKE with case, so
// its prefix conditions use ILIKE to match as SQLite's LIKE does.
enum class SqlDialect { SQLITE, POSTGRESQL };

// SELECT count(*) with the filter's conditions (isUsed, mac, barCode,
// boardType, createDate, usedDate, operatorName, batch, joined by AND).
MacStatement countMacStatement(const MacFilter &filter, SqlDialect dialect = SqlDialect::SQLITE);
// SELECT * with the filter's conditions (boardType, mac, barCode, createDate,
// usedDate, isUsed, operatorName, batch) ORDER BY MacAddr LIMIT 50 OFFSET
// (page - 1) * 50.
MacStatement selectMacPageStatement(int page, const MacFilter &filter,
                                    SqlDialect dialect = SqlDialect::SQLITE);
