#pragma once

// The MAC pool as one object per thread: a local SQLite file (the window
// tool's pool) or a PostgreSQL database that several stations share, named
// by a URL. An address leaves the pool only through a claim, and its journal
// row moves reserved -> writing -> used | released | quarantined:
//   claim      reserves free addresses for a while (they stay IsUsed 0),
//   beginWrite records, committed, that the write request is about to go,
//   confirm    records an address the module accepted (IsUsed 1),
//   release    gives an address back when nothing reached the module,
//   quarantine holds an address whose outcome is unknown, for good.
// A reservation that expires goes back to the pool only if it never reached
// writing; an expired writing address is unknown: never handed out, until a
// module is seen holding it (markSeenOnModule) or a person releases it
// (releaseUnknown). So no address sent to a module is handed out again.
// The journal lives in a table of its own (claimTableName), with station,
// port, operator and the time of each state, so the address table keeps its
// eight columns.
//
// A MacPool owns one database connection, under a name of its own, and must
// be used only on the thread that created it. Every operation reports a
// failure through its last parameter, `errorText`, in the store's own words
// (the driver's text goes to the debug log, maint.macpool); it is left
// untouched on success. No widgets here.

#include "base/macaddress.h"
#include "macpool/macrecords.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

class QSqlQuery;

inline const QString claimTableName = QStringLiteral("mavo_rfid_mac_claim");

// Where a pool lives. Parsed from `sqlite:PATH` (PATH relative to the working
// directory at open time) or `postgresql://USER@HOST[:PORT]/DB`; HOST may be
// a Unix-socket directory percent-encoded as libpq allows
// (%2Fvar%2Frun%2Fpostgresql). A URL with a password is refused: libpq reads
// it from PGPASSFILE or ~/.pgpass.
struct MacPoolUrl {
    enum Kind { INVALID, SQLITE, POSTGRESQL };
    Kind kind = INVALID;
    QString path; // SQLite file
    QString user;
    QString password;
    QString host;
    int port = -1; // -1: libpq's default
    QString database;

    // False with the reason in `errorText` when `url` names no pool.
    static bool parse(const QString &url, MacPoolUrl &parsed, QString &errorText);
    // The URL without its password, for messages and the debug log.
    QString redacted() const;
};

// The window tool's pool: "sqlite:NorbexMacSN.db".
QString localPoolUrl();

// Where an address stands, as the unit job reads it before writing.
enum class MacState { NotInPool, Free, Reserved, Writing, Used, Quarantined, Unknown };

// Whether opening a SQLite pool may create its missing file; only a
// generation does.
enum class MissingPoolFile { Refuse, Create };

// A held address as `kbmaint pool list` shows it.
struct MacClaimRow {
    QString MacAddr;
    MacHold hold = MacHold::CLAIMED;
    QString claimer;
    QString station;
    QString port;
    QString operatorName;
    qint64 claimedAt = 0; // seconds since the epoch
    qint64 expiresAt = 0; // 0 for a quarantine
    qint64 writingAt = 0; // 0 until beginWrite
    QString note;
};

// Address counts of a pool. free counts what a claim could take now (expired
// reservations included); claimed counts live reservations only.
struct MacPoolStats {
    qint64 total = 0;
    qint64 used = 0;
    qint64 free = 0;
    qint64 claimed = 0;
    qint64 quarantined = 0;
    qint64 writing = 0; // live writes
    qint64 unknown = 0; // writes whose reservation expired
};

class MacPool
{
public:
    // How long a claim holds its addresses unless told otherwise.
    static constexpr int DEFAULT_CLAIM_SECONDS = 600;

    // Opens the pool named by `url` on the calling thread. `claimer` names
    // the holder of this object's claims; confirm and release accept only
    // addresses claimed under the same name. Empty: a name unique to this
    // object. A missing SQLite file is refused unless `missing` is Create.
    // Check isOpen(), or openError(), afterwards.
    explicit MacPool(const QString &url, const QString &claimer = QString(),
                     MissingPoolFile missing = MissingPoolFile::Refuse);
    ~MacPool();
    MacPool(const MacPool &) = delete;
    MacPool &operator=(const MacPool &) = delete;

    bool isOpen() const { return open; }
    // Why the pool did not open; empty when it did.
    QString openError() const { return whyNotOpen; }
    const MacPoolUrl &url() const { return where; }
    const QString &claimer() const { return claimerName; }
    // The name of this object's Qt SQL connection, for statements of the
    // store that the pool has no operation for.
    const QString &connectionName() const { return connection; }
    // A claimer name for the whole process, so that a dialog's claim can be
    // confirmed by the page that writes the address.
    static QString processClaimer();

    // Creates the address table (and its free-address index) and the
    // reservation table where they are missing; keeps existing rows.
    bool createTables(QString &errorText);
    // Whether the address table exists; false with a message when it does
    // not or the question failed.
    bool hasTables(QString &errorText);

    // Atomically reserves up to n free addresses, lowest first, for
    // `seconds`; the list may be shorter when the pool runs out (empty: none
    // left). Station and operator are kept with the reservation.
    QStringList claim(int n, const QString &station, const QString &operatorName,
                      QString &errorText, int seconds = DEFAULT_CLAIM_SECONDS);
    // The same, keeping the serial port with the reservation.
    QStringList claim(int n, const QString &station, const QString &port,
                      const QString &operatorName, int seconds, QString &errorText);
    // Moves an address this claimer reserved to writing, committed before it
    // returns: from now on it never goes back to the pool by expiry. False
    // (the write must not go out) when the database failed or the address
    // is not this claimer's reservation.
    bool beginWrite(const QString &mac, QString &errorText);
    // Records the module's acceptance of a reserved or writing address: IsUsed 1, the
    // current local time, BoardType, BarCode and Operator from `record`
    // (its MacAddr and IsUsed are ignored), and ends the reservation. Fails
    // with a message for an address that is used already, not in the pool,
    // or not claimed by this claimer (its reservation expired and another
    // claimer took it).
    bool confirm(const QString &mac, const MacUsageRecord &record, QString &errorText);
    // Gives an address this claimer reserved or began writing back to the
    // pool (the module refused it, or nothing was sent).
    bool release(const QString &mac, QString &errorText);
    // Withdraws a free address for good, whoever claimed it; `why` is kept.
    // Fails for an address that is used or not in the pool.
    bool quarantine(const QString &mac, const QString &why, QString &errorText);

    // Where `mac` (any stored form) stands now; NotInPool with errorText set
    // when the database failed.
    MacState stateOf(const QString &mac, QString &errorText);
    // A module was seen holding `mac`: recorded used (IsUsed 1, whoever held
    // it), with where and by whom it was seen. Used stays used. Fails for an
    // address not in the pool.
    bool markSeenOnModule(const QString &mac, const QString &station, const QString &port,
                          const QString &operatorName, QString &errorText);
    // A module's address that a new one replaces on purpose: stays used,
    // recorded as replaced.
    bool markReplaced(const QString &mac, QString &errorText);
    // A person gives an unknown address back to the pool; who, when and
    // why are kept. Fails for an address in any other state.
    bool releaseUnknown(const QString &mac, const QString &who, const QString &reason,
                        QString &errorText);

    MacPoolStats stats(QString &errorText);
    // Held addresses (live and expired reservations, quarantines) by address.
    QList<MacClaimRow> holds(QString &errorText);

    // Stores `range` in colon form, all rows or none, with IsUsed 0 and the
    // current local time. A range that overlaps the pool is refused before
    // any row goes in; the message names the first address already there.
    // `rowStored(i)` follows each row but the first, i = 0 .. count - 2.
    bool generate(const MacRange &range, const QString &batch, QString &errorText,
                  const std::function<void(int)> &rowStored = {});
    // The first address of `range` already in the pool; empty when none.
    QString firstClash(const MacRange &range, QString &errorText);
    // Deletes every address and every hold.
    bool clear(QString &errorText);
    // Number of 50-row pages of the rows the filter selects; 0 on failure.
    int countPages(const MacFilter &filter, QString &errorText);
    // One page (1-based) of the filtered rows, ordered by MacAddr.
    QList<MacRow> page(int pageNumber, const MacFilter &filter, QString &errorText);

    // Seconds since the epoch by which reservations are stamped and expire.
    // Tests replace it to let time pass.
    void setClock(std::function<qint64()> now) { clock = std::move(now); }

private:
    bool openDatabase();
    // Adds the journal's columns that tables of earlier versions lack.
    bool addMissingColumns(QString &errorText);
    // IsUsed 1 and a journal row in `state`, in one transaction.
    bool recordUsed(const QString &mac, const QString &state, const QStringList &where,
                    const QString &note, QString &errorText);
    // Runs one statement on the journal for `mac`'s forms; false with the
    // reason when it matched no row.
    bool moveState(const QString &sql, const QVariantList &values, const QString &mac,
                   QString &errorText);
    qint64 now() const;
    bool postgres() const { return where.kind == MacPoolUrl::POSTGRESQL; }
    // Runs a statement that this pool prepared once and keeps (on a server,
    // preparing costs a round trip of its own); the query with its result,
    // or null with the store's failure text in `errorText`.
    QSqlQuery *runKept(const QString &sql, const QVariantList &values, QString &errorText);
    // The reason an address could not be confirmed or released.
    QString whyNotHeld(const QString &mac);
    bool confirmPostgres(const QString &mac, const MacUsageRecord &record, QString &errorText);
    QStringList claimSqlite(int n, const QStringList &who, int seconds, QString &errorText);
    QStringList claimPostgres(int n, const QStringList &who, int seconds, QString &errorText);
    void addHolds(QList<MacRow> &rows, QString &errorText);
    // Inserts every row of the range through `query`; false at the first
    // failed statement (its error stays in the query).
    bool insertRows(QSqlQuery &query, const MacRange &range, const QString &batch,
                    const std::function<void(int)> &rowStored);

    MacPoolUrl where;
    QString claimerName;
    QString connection;
    bool open = false;
    QString whyNotOpen;
    std::function<qint64()> clock;
    QHash<QString, QSqlQuery *> kept; // by statement text
};
