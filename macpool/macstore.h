#pragma once

// The window tool's one-shot operations on its local MAC pool file. The
// pool itself, on SQLite or PostgreSQL, is MacPool (macpool.h); these
// functions open one for the local file, work and close it again. Values
// always travel as bound parameters. Failed statements hand the store's own
// text to the caller through `errorText` (the driver's text goes to the
// debug log), which is left untouched on success. No widgets here.

#include "macpool/macrecords.h"

// The window tool's one-shot operations on the local pool (localPoolUrl()),
// each opening and closing it. The error text is always the last parameter.

// Deletes every row and every hold, then VACUUM (run even after a failed
// DELETE; its error overwrites the DELETE's).
void clearMacTable(QString &errorText);

// Marks the record's address used with the current local time, board type,
// bar code and operator, with no claim. The address is found in colon form
// and also in the dash and bare forms that older files hold for first rows
// of a range. False with the store's failure text when the statement fails, and
// false with a message saying the address is not in the pool when no row
// matched.
bool markMacUsed(const MacUsageRecord &record, QString &errorText);

// Creates the address table and the reservation table where the database
// file lacks them (the outcome goes to the debug log).
void createMacTable();

// Up to n free, unheld addresses in address order. Marks nothing.
QStringList takeUnusedMacs(int n, QString &errorText);

// Number of 50-row pages of the rows the filter selects: 0 rows give 0, 50
// give 1, 51 give 2. 0 on failure.
int countMacPages(const MacFilter &filter, QString &errorText);

// One page (1-based) of the filtered rows ordered by MacAddr. Empty on
// failure or when no row is on that page.
QList<MacRow> selectMacPage(int page, const MacFilter &filter, QString &errorText);
