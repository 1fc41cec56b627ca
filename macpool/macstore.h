#pragma once

// The MAC address pool: one table of a local SQLite file. Every operation
// opens the database under its connection name, works and closes it again;
// nothing keeps the file open in between. Values always travel as bound
// parameters, so quotes, separators and column names in a filter or a record
// are plain characters. Failed statements hand the driver's error text to
// the caller through `errorText`, which is left untouched on success.
// No widgets here; the GUI thread calls these directly.

#include "macpool/macaddress.h"

#include <QString>
#include <QVariantList>
#include <QtGlobal>

#include <functional>

// Database file, relative to the working directory of the process.
inline const QString macDbFileName = QStringLiteral("NorbexMacSN.db");
inline const QString macTableName = QStringLiteral("mavo_rfid_mac");
// Connection of the one-shot operations on the GUI thread.
inline const QString macConnectionName = QStringLiteral("nb_mac_sn");
// Connection of the generation worker, so that neither can take the other's
// connection away.
inline const QString macWorkerConnectionName = QStringLiteral("nb_mac_sn_worker");

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

// A statement with its bound values, in the order of their "?" marks.
struct MacStatement {
    QString sql;
    QVariantList values;
};

// The statement text with the values filled in (single-quoted, quotes
// doubled), for the debug log only.
QString traceMacStatement(const MacStatement &statement);

// SELECT count(*) with the filter's conditions (isUsed, mac, barCode,
// boardType, createDate, usedDate, operatorName, batch, joined by AND).
MacStatement countMacStatement(const MacFilter &filter);
// SELECT * with the filter's conditions (boardType, mac, barCode, createDate,
// usedDate, isUsed, operatorName, batch) ORDER BY MacAddr LIMIT 50 OFFSET
// (page - 1) * 50.
MacStatement selectMacPageStatement(int page, const MacFilter &filter);

// Deletes every row, then VACUUM (run even after a failed DELETE; its error
// overwrites the DELETE's).
void clearMacTable(QString &errorText);

// Marks the record's address used with the current local time, board type,
// bar code and operator. The address is found in colon form and also in the
// dash and bare forms that older files hold for first rows of a range.
// False with the driver's text when the statement fails, and false with a
// message saying the address is not in the pool when no row matched.
bool markMacUsed(const MacUsageRecord &record, QString &errorText);

// Creates the table when the database file lacks it (the outcome goes to the
// debug log). Reuses a registered macConnectionName connection and leaves it
// open.
void createMacTable();

// Up to n free addresses in SQLite's natural row order, joined by ";". Marks
// nothing.
QString takeUnusedMacs(QString &errorText, int n);

// Number of 50-row pages of the rows the filter selects: 0 rows give 0, 50
// give 1, 51 give 2. 0 on failure.
int countMacPages(QString &errorText, const MacFilter &filter);

// One page (1-based) of the filtered rows ordered by MacAddr: rows joined by
// ";", within a row the eight columns in table order as text (NULL empty)
// joined by "|". Empty on failure or when no row is on that page.
QString selectMacPage(QString &errorText, int page, const MacFilter &filter);

// Inserts range.count addresses in colon form, all with the current local
// time, IsUsed 0 and `batch`, under `connectionName`, in one transaction:
// either every row is stored or none. After each row but the first,
// `rowStored(i)` is called with i = 0 .. count - 2. False with the driver's
// error text on failure.
bool insertMacRange(const QString &connectionName, const MacRange &range, const QString &batch,
                    QString &errorText, const std::function<void(int)> &rowStored);
