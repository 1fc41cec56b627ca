#pragma once

// A MAC pool of its own for one test: a temporary directory becomes the
// working directory (where the tool looks for its database file) and holds a
// fresh table; the old working directory comes back on destruction. Rows are
// written and read through a connection of the helper's own, never the
// tool's, so the tests see the file as it really is.

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

class TestPool
{
public:
    TestPool();
    ~TestPool();
    TestPool(const TestPool &) = delete;
    TestPool &operator=(const TestPool &) = delete;

    // False when the directory or the table could not be made.
    bool isValid() const { return valid; }
    // Adds an address exactly as given (any stored form), free or used.
    bool add(const QString &mac, bool used = false);
    // IsUsed, UsedDateTime and Operator of the address's row; empty if none.
    QVariantList row(const QString &mac) const;
    // Marks every address used, as another session would.
    bool useAll();
    // Free and never recorded: IsUsed 0, no operator.
    bool isFree(const QString &mac) const;
    // Replaces the database file by bytes that are no database, so that
    // every statement of the tool fails.
    bool breakFile();

private:
    // Runs one statement; the first result row, if any.
    QVariantList run(const QString &sql, const QVariantList &values, bool *ok = nullptr) const;

    QTemporaryDir dir;
    QString previousDir;
    bool valid = false;
};
