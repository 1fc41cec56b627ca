#pragma once

// A MAC pool of its own for one test: a temporary directory becomes the
// working directory (where the tool looks for its database file) and holds a
// fresh table; the old working directory comes back on destruction. Rows are
// put in and read back through a connection of the helper's own, never the
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

    struct Row {
        bool found = false;
        int isUsed = -1;
        QString usedDateTime; // empty while NULL
        QString operatorName; // empty while NULL
        bool operatorIsNull = true;
    };
    Row row(const QString &mac) const;

    // Replaces the database file by bytes that are no database, so that
    // every statement of the tool fails.
    bool breakFile();

private:
    bool execute(const QString &statement, const QVariantList &values = {}) const;

    QTemporaryDir dir;
    QString previousDir;
    bool valid = false;
};
