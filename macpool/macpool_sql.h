#pragma once

// Helpers shared by the pool's source files: running one statement with its
// bound values, transactions in each backend's manner, and the fixed texts
// of the reservation table. Internal to macpool/.

#include "macpool/macrecords.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace MacPoolSql
{
// Reservation states as stored in the reservation table's State column.
inline const QString CLAIMED = QStringLiteral("claimed");
inline const QString QUARANTINED = QStringLiteral("quarantined");
inline const QString WRITING = QStringLiteral("writing");
inline const QString USED = QStringLiteral("used");
inline const QString RELEASED = QStringLiteral("released");
inline const QString REPLACED = QStringLiteral("replaced");

// The condition, on a reservation row `c`, that keeps its address from
// being claimed at time ?: every state but a released one or a claim that
// expired. Its values: heldValues(at).
QString heldCondition();
QVariantList heldValues(qint64 at);

// The condition, on an address row `m`, that leaves out group, broadcast and
// zero addresses that older pools may hold (the second character of every
// stored form is the first byte's low digit). Its values: unicastValues().
QString unicastCondition();
QVariantList unicastValues();

// Reports a failed statement, transaction or connection: the store's own
// words go to `errorText` (Chinese, for the user); the driver's text goes to
// the debug log only.
void fail(const QSqlError &error, QString &errorText);

// Prepares `sql`, binds `values` in order and executes it; false with the
// store's failure text in `errorText` (see fail). The statement goes to the
// debug log with its values filled in.
bool run(QSqlQuery &query, const QString &sql, const QVariantList &values, QString &errorText);

// BEGIN IMMEDIATE on SQLite (the write lock is taken at once, so two writers
// queue instead of failing at commit), BEGIN on PostgreSQL.
bool begin(QSqlDatabase &db, bool postgres, QString &errorText);
bool commit(QSqlDatabase &db, bool postgres, QString &errorText);
void rollback(QSqlDatabase &db, bool postgres);

// "?, ?, ?" for n values.
QString marks(int n);

// The stored texts an address may have: the text as given and, when it
// parses as an address, its colon, dash and bare forms.
QStringList storedForms(const QString &mac);
} // namespace MacPoolSql
