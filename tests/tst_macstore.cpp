#include "macpool/handlesqlmac.h"
#include "macpool/macaddress.h"
#include "macpool/macstore.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(MacFilter)

namespace
{
// One row of the pool: address, creation time, used, use time, operator.
struct SeedRow {
    QString mac;
    QString created;
    int used;
    QString usedAt;
    QString operatorName;
};

// Writes rows straight into the pool file, as older tools or a day's work left them.
void seed(const QList<SeedRow> &rows, const QString &batch = QString())
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "seed");
        db.setDatabaseName(macDbFileName);
        QVERIFY(db.open());
        QVERIFY(db.transaction());
        QSqlQuery query(db);
        QVERIFY(query.prepare("INSERT INTO mavo_rfid_mac VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const SeedRow &row : rows) {
            for (const QVariant &value :
                 {QVariant(row.mac), QVariant(row.created), QVariant(row.used),
                  row.usedAt.isEmpty() ? QVariant() : QVariant(row.usedAt),
                  row.used ? QVariant("R5530") : QVariant(),
                  row.used ? QVariant("BC-" + row.mac) : QVariant(),
                  row.operatorName.isEmpty() ? QVariant() : QVariant(row.operatorName),
                  QVariant(batch)})
                query.addBindValue(value);
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        }
        QVERIFY(db.commit());
    }
    QSqlDatabase::removeDatabase("seed");
}

void seedRun(int rows)
{
    QList<SeedRow> list;
    for (int i = 0; i < rows; ++i)
        list << SeedRow{colonMac(0x907EBA000000ULL + i), "2024-01-01 08:00:00", 0, {}, {}};
    seed(list);
}

QStringList column0(const QString &pageText)
{
    QStringList macs;
    for (const QString &entry : pageText.split(';', Qt::SkipEmptyParts))
        macs << entry.section('|', 0, 0);
    return macs;
}

QStringList allRows()
{
    QString error;
    QStringList macs;
    for (int page = 1; page <= countMacPages(error, MacFilter()); ++page)
        macs << column0(selectMacPage(error, page, MacFilter()));
    return macs;
}

struct Run {
    QStringList events; // "progress 1", "error ...", "end"
};

// Runs one generation to its end on its own thread and records its signals in order.
Run generate(const QString &start, int count, int headLength, int step, const QString &sep)
{
    Run run;
    HandleSqlMac worker(start, count, headLength, step, sep, QString());
    QObject::connect(&worker, &HandleSqlMac::progressVSignal, [&](int v) {
        run.events << QStringLiteral("progress %1").arg(v);
    }); // direct: runs on the worker thread, read after wait()
    QObject::connect(&worker, &HandleSqlMac::errorMsg,
                     [&](const QString &msg) { run.events << "error " + msg; });
    QObject::connect(&worker, &HandleSqlMac::isEndSignal, [&] { run.events << "end"; });
    QObject::connect(&worker, &HandleSqlMac::pageInfoSignal, [&] { run.events << "pageInfo"; });
    worker.start();
    if (!worker.wait(60000))
        qFatal("generation did not end");
    return run;
}
} // namespace

class TestMacStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void addressTexts_data();
    void addressTexts();
    void rangePlan_data();
    void rangePlan();
    void startFields_data();
    void startFields();
    void generation_data();
    void generation();
    void overlappingRangeAddsNothing();
    void largestRangeInOneGo();
    void filters_data();
    void filters();
    void paging_data();
    void paging();
    void markUsed_data();
    void markUsed();
    void legacyFileIsReadSearchedAndMarked();
    void clearAndFailures();
    void createTableOnNewInstallation();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString oldCurrent;
};

void TestMacStore::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    createMacTable();
}

void TestMacStore::cleanup()
{
    QSqlDatabase::removeDatabase(macConnectionName);
    QDir::setCurrent(oldCurrent);
    dir.reset();
}

void TestMacStore::addressTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<QString>("colon");

    QTest::newRow("colon form") << "90:7E:BA:74:B7:0C" << true << "90:7E:BA:74:B7:0C";
    QTest::newRow("dash form of an older first row")
        << "90-7E-BA-74-B7-0C" << true << "90:7E:BA:74:B7:0C";
    QTest::newRow("bare form") << "907EBA74B70C" << true << "90:7E:BA:74:B7:0C";
    QTest::newRow("lower case") << "90:7e:ba:74:b7:0c" << true << "90:7E:BA:74:B7:0C";
    QTest::newRow("mixed separators") << "90:7E-BA:74:B7:0C" << false << "";
    QTest::newRow("eleven digits") << "907EBA74B70" << false << "";
    QTest::newRow("non-hex digit") << "90:7E:BA:74:B7:0G" << false << "";
    QTest::newRow("a single-digit group") << "90:7E:BA:74:B7:C" << false << "";
}

void TestMacStore::addressTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, parses);
    QFETCH(QString, colon);
    quint64 value = 0;
    QCOMPARE(parseStoredMac(text, value), parses);
    if (parses) {
        QCOMPARE(colonMac(value), colon);
        QCOMPARE(storedMacForms(value).first(), colon);
        QCOMPARE(toColonMac(storedMacForms(value).last()), colon);
    }
}

void TestMacStore::rangePlan_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("headLength");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("lastOrRefusal"); // last address, or a text the refusal names

    QTest::newRow("three from 0C") << "90:7E:BA:74:B7:0C" << 3 << 6 << 1 << ":"
                                   << "90:7E:BA:74:B7:0E";
    QTest::newRow("carry runs across the tail's bytes") << "90:7E:BA:74:B7:FF" << 2 << 6 << 1 << ":"
                                                        << "90:7E:BA:74:B8:00";
    QTest::newRow("tail of all twelve digits, 64-bit arithmetic")
        << "00-00-00-00-00-00" << 10000 << 0 << 100 << "-"
        << "00:00:00:0F:41:DC";
    QTest::newRow("tail exactly filled") << "907EBAFFFFFE" << 2 << 6 << 1 << ""
                                         << "90:7E:BA:FF:FF:FF";
    QTest::newRow("would carry into the head, named") << "90:7E:BA:FF:FF:FE" << 3 << 6 << 1 << ":"
                                                      << "90:7E:BB:00:00:00";
    QTest::newRow("would pass FF:FF:FF:FF:FF:FF, named")
        << "FF:FF:FF:FF:FF:FF" << 2 << 0 << 1 << ":"
        << "1:00:00:00:00:00:00";
    QTest::newRow("typed separator that is also a digit")
        << "90A7EA0A74AB7A0C" << 2 << 6 << 1 << "A"
        << "去掉分隔符后不是12位";
    QTest::newRow("separator not removed from other text")
        << "90.7E.BA.74.B7.0C" << 2 << 6 << 1 << ":"
        << "去掉分隔符后不是12位";
    QTest::newRow("no count") << "90:7E:BA:74:B7:0C" << 0 << 6 << 1 << ":"
                              << "数量和步长";
}

void TestMacStore::rangePlan()
{
    QFETCH(QString, start);
    QFETCH(int, count);
    QFETCH(int, headLength);
    QFETCH(int, step);
    QFETCH(QString, separator);
    QFETCH(QString, lastOrRefusal);
    MacRange range;
    QString why;
    const bool planned = planMacRange(start, count, headLength, step, separator, range, why);
    if (planned)
        QCOMPARE(colonMac(range.address(range.count - 1)), lastOrRefusal);
    else
        QVERIFY2(why.contains(lastOrRefusal), qPrintable(why));
    QCOMPARE(planned, why.isEmpty());
}

void TestMacStore::startFields_data()
{
    QTest::addColumn<QStringList>("bytes");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::addColumn<QString>("joined");

    const QStringList typed{"90", "7e", "BA", "74", "b7", "C"};
    QTest::newRow("upper-cased, single digit padded") << typed << ":"
                                                      << ""
                                                      << "90:7E:BA:74:B7:0C";
    QTest::newRow("no separator") << typed << ""
                                  << ""
                                  << "907EBA74B70C";
    QTest::newRow("empty field named by position")
        << QStringList{"90", "7E", "", "74", "B7", "0C"} << ":"
        << "第3个字节为空"
        << "";
    QTest::newRow("three digits") << QStringList{"90", "7E", "BA", "74", "B7", "0C0"} << ":"
                                  << "第6个字节"
                                  << "";
    QTest::newRow("hex digit in separator") << typed << "-b"
                                            << "分隔符"
                                            << "";
}

void TestMacStore::startFields()
{
    QFETCH(QStringList, bytes);
    QFETCH(QString, separator);
    QFETCH(QString, refusal);
    QFETCH(QString, joined);
    const QString why = checkStartFields(bytes, separator);
    QVERIFY2(refusal.isEmpty() ? why.isEmpty() : why.contains(refusal), qPrintable(why));
    if (refusal.isEmpty())
        QCOMPARE(joinStartFields(bytes, separator), joined);
}

void TestMacStore::generation_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("three from 0C")
        << "90:7E:BA:74:B7:0C" << 3 << ":"
        << QStringList{"90:7E:BA:74:B7:0C", "90:7E:BA:74:B7:0D", "90:7E:BA:74:B7:0E"}
        << QStringList{"progress 1", "progress 0", "progress 1", "progress 4", "end"};
    QTest::newRow("carry from B7:FF")
        << "90:7E:BA:74:B7:FF" << 2 << ":" << QStringList{"90:7E:BA:74:B7:FF", "90:7E:BA:74:B8:00"}
        << QStringList{"progress 1", "progress 0", "progress 3", "end"};
    QTest::newRow("count 1: progress 1 then 2")
        << "90:7E:BA:74:B7:0C" << 1 << ":" << QStringList{"90:7E:BA:74:B7:0C"}
        << QStringList{"progress 1", "progress 2", "end"};
    QTest::newRow("dash start stored in colon form")
        << "90-7E-BA-74-B7-0C" << 2 << "-" << QStringList{"90:7E:BA:74:B7:0C", "90:7E:BA:74:B7:0D"}
        << QStringList{"progress 1", "progress 0", "progress 3", "end"};
    QTest::newRow("bare start stored in colon form")
        << "907EBA74B70C" << 1 << "" << QStringList{"90:7E:BA:74:B7:0C"}
        << QStringList{"progress 1", "progress 2", "end"};
    QTest::newRow("refused range stores nothing")
        << "90:7E:BA:FF:FF:FF" << 2 << ":" << QStringList()
        << QStringList{"progress 1", "error 生成范围超出后6位: 最后一个地址将是90:7E:BB:00:00:00。",
                       "end"};
}

void TestMacStore::generation()
{
    QFETCH(QString, start);
    QFETCH(int, count);
    QFETCH(QString, separator);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, events);
    QCOMPARE(generate(start, count, 6, 1, separator).events, events);
    QCOMPARE(allRows(), stored);
}

void TestMacStore::overlappingRangeAddsNothing()
{
    QVERIFY(generate("90:7E:BA:74:B7:0C", 3, 6, 1, ":").events.endsWith("end"));
    const QStringList events = generate("90:7E:BA:74:B7:0A", 4, 6, 1, ":").events;
    QCOMPARE(events.size(), 5); // 1, 0 (0B went in before the clash at 0C), error, 90 %, end
    QVERIFY2(events.at(2).contains("UNIQUE") &&
                 events.at(2).endsWith(". 请检查MAC是否已创建或其他参数配置!"),
             qPrintable(events.at(2)));
    QCOMPARE(events.mid(3), (QStringList{"progress 5", "end"})); // (4 + 1) * 0.9 rounded
    QCOMPARE(allRows(),
             (QStringList{"90:7E:BA:74:B7:0C", "90:7E:BA:74:B7:0D", "90:7E:BA:74:B7:0E"}));
}

void TestMacStore::largestRangeInOneGo()
{
    const Run run = generate("90:7E:BA:00:00:00", 10000, 6, 100, ":");
    QCOMPARE(run.events.size(), 10002);
    QCOMPARE(run.events.mid(10000), (QStringList{"progress 10001", "end"}));
    QString error;
    QCOMPARE(countMacPages(error, MacFilter()), 200);
    MacFilter last;
    last.mac = "90:7E:BA:0F:41:DC";
    QCOMPARE(countMacPages(error, last), 1);
    QVERIFY(error.isEmpty());
}

void TestMacStore::filters_data()
{
    QTest::addColumn<MacFilter>("filter");
    QTest::addColumn<QStringList>("selected");

    const QString a = "90:7E:BA:00:00:01", b = "90:7E:BA:00:00:02", c = "90:7E:BB:00:00:03",
                  d = "90:7E:BB:00:00:04";
    const auto with = [](auto set) {
        MacFilter filter;
        set(filter);
        return filter;
    };
    QTest::newRow("no member: every row") << MacFilter() << QStringList{a, b, c, d};
    QTest::newRow("free") << with([](MacFilter &f) { f.isUsed = 0; }) << QStringList{a};
    QTest::newRow("used") << with([](MacFilter &f) { f.isUsed = 1; }) << QStringList{b, c, d};
    QTest::newRow("address prefix")
        << with([](MacFilter &f) { f.mac = "90:7E:BB"; }) << QStringList{c, d};
    QTest::newRow("address prefix, lower case")
        << with([](MacFilter &f) { f.mac = "90:7e:bb:00:00:0"; }) << QStringList{c, d};
    QTest::newRow("bar code prefix")
        << with([](MacFilter &f) { f.barCode = "BC-90:7E:BA"; }) << QStringList{b};
    QTest::newRow("board type equal")
        << with([](MacFilter &f) { f.boardType = "R5530"; }) << QStringList{b, c, d};
    QTest::newRow("board type is not a prefix")
        << with([](MacFilter &f) { f.boardType = "R55"; }) << QStringList();
    QTest::newRow("creation day") << with([](MacFilter &f) { f.createDate = "2024-03-05"; })
                                  << QStringList{a, b};
    QTest::newRow("day of use") << with([](MacFilter &f) { f.usedDate = "2024-03-07"; })
                                << QStringList{c, d};
    QTest::newRow("operator") << with([](MacFilter &f) { f.operatorName = "zhang"; })
                              << QStringList{b};
    QTest::newRow("operator with a double quote")
        << with([](MacFilter &f) { f.operatorName = "O\"Brien"; }) << QStringList{c};
    QTest::newRow("operator named like the column: that text only")
        << with([](MacFilter &f) { f.operatorName = "Operator"; }) << QStringList{d};
    QTest::newRow("single quote in an address filter")
        << with([](MacFilter &f) { f.mac = "90'"; }) << QStringList();
    QTest::newRow("batch") << with([](MacFilter &f) { f.batch = "b2"; }) << QStringList{d};
    QTest::newRow("used, creation day and operator combined") << with([](MacFilter &f) {
        f.isUsed = 1;
        f.createDate = "2024-03-05";
        f.operatorName = "zhang";
    }) << QStringList{b};
    QTest::newRow("free and an operator: none") << with([](MacFilter &f) {
        f.isUsed = 0;
        f.operatorName = "zhang";
    }) << QStringList();
}

void TestMacStore::filters()
{
    QFETCH(MacFilter, filter);
    QFETCH(QStringList, selected);
    seed({{"90:7E:BA:00:00:01", "2024-03-05 09:00:00", 0, {}, {}},
          {"90:7E:BA:00:00:02", "2024-03-05 17:30:00", 1, "2024-03-06 10:00:00", "zhang"},
          {"90:7E:BB:00:00:03", "2024-03-06 08:00:00", 1, "2024-03-07 11:00:00", "O\"Brien"}});
    seed({{"90:7E:BB:00:00:04", "2024-03-06 08:00:00", 1, "2024-03-07 12:00:00", "Operator"}},
         "b2");
    QString error;
    QCOMPARE(countMacPages(error, filter), selected.isEmpty() ? 0 : 1);
    QCOMPARE(column0(selectMacPage(error, 1, filter)), selected);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestMacStore::paging_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("lastPageRows");

    QTest::newRow("empty pool: no page") << 0 << 0 << 0;
    QTest::newRow("50 rows: one page") << 50 << 1 << 50;
    QTest::newRow("51 rows: two pages") << 51 << 2 << 1;
    QTest::newRow("120 rows: page 3 holds rows 101 to 120") << 120 << 3 << 20;
}

void TestMacStore::paging()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    QFETCH(int, lastPageRows);
    seedRun(rows);
    QString error;
    QCOMPARE(countMacPages(error, MacFilter()), pages);
    const QStringList last = column0(selectMacPage(error, qMax(pages, 1), MacFilter()));
    QCOMPARE(last.size(), lastPageRows);
    if (pages > 0)
        QCOMPARE(last.first(), colonMac(0x907EBA000000ULL + (pages - 1) * 50));
    QVERIFY(error.isEmpty());
    QVERIFY(selectMacPageStatement(3, MacFilter()).sql.endsWith(" OFFSET 100;"));
}

void TestMacStore::markUsed_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("markedRow"); // empty: nothing may change
    QTest::addColumn<QString>("error");

    QTest::newRow("colon row") << "90:7E:BA:74:B7:0D"
                               << "90:7E:BA:74:B7:0D"
                               << "";
    QTest::newRow("older dash first row") << "90:7E:BA:74:B7:0C"
                                          << "90-7E-BA-74-B7-0C"
                                          << "";
    QTest::newRow("older bare first row, asked in dash form") << "90-7E-BA-74-B7-0E"
                                                              << "907EBA74B70E"
                                                              << "";
    QTest::newRow("address not in the pool") << "90:7E:BA:74:B7:0F"
                                             << ""
                                             << "MAC地址90:7E:BA:74:B7:0F不在地址池中";
    QTest::newRow("double quote is a character") << "90:7E:BA:74:B7:0D\" OR \"1\"=\"1"
                                                 << ""
                                                 << "不在地址池中";
}

void TestMacStore::markUsed()
{
    QFETCH(QString, address);
    QFETCH(QString, markedRow);
    QFETCH(QString, error);
    seed({{"90-7E-BA-74-B7-0C", "2024-03-05 09:00:00", 0, {}, {}},
          {"90:7E:BA:74:B7:0D", "2024-03-05 09:00:00", 0, {}, {}},
          {"907EBA74B70E", "2024-03-05 09:00:00", 0, {}, {}}});
    QString errorText;
    const bool marked = markMacUsed({address, 1, "R5530", "BC7", "li"}, errorText);
    QCOMPARE(marked, error.isEmpty());
    QVERIFY2(errorText.contains(error), qPrintable(errorText));
    MacFilter used;
    used.isUsed = 1;
    const QString page = selectMacPage(errorText, 1, used);
    QCOMPARE(column0(page), markedRow.isEmpty() ? QStringList() : QStringList{markedRow});
    if (marked) {
        const QStringList fields = page.split('|');
        QCOMPARE(fields.mid(4), (QStringList{"R5530", "BC7", "li", ""}));
        QVERIFY(QDateTime::fromString(fields.at(3), "yyyy-MM-dd hh:mm:ss").isValid());
        QVERIFY(!takeUnusedMacs(errorText, 10).contains(markedRow));
    }
    QCOMPARE(takeUnusedMacs(errorText, 10).split(';').size(), marked ? 2 : 3);
}

void TestMacStore::legacyFileIsReadSearchedAndMarked()
{
    {
        QSqlQuery info("PRAGMA table_info(mavo_rfid_mac)",
                       QSqlDatabase::database(macConnectionName));
        QVERIFY(info.last());
        QCOMPARE(info.value(2).toString(), QString("varchar varchar(255)")); // batchNum
    }
    // An older tool's day: a dash first row, then colon rows; a bare first row of another run.
    seed({{"90-7E-BA-74-B7-0C", "2024-03-05 09:00:00", 0, {}, {}},
          {"90:7E:BA:74:B7:0D", "2024-03-05 09:00:00", 0, {}, {}},
          {"A0B1C2000001", "2024-03-06 09:00:00", 0, {}, {}}});
    seedRun(60);
    QString error;
    MacFilter run;
    run.mac = "90:7E:BA:74:B7";
    QCOMPARE(column0(selectMacPage(error, 1, run)),
             (QStringList{"90-7E-BA-74-B7-0C", "90:7E:BA:74:B7:0D"}));
    run.mac = "a0:b1:c2";
    QCOMPARE(column0(selectMacPage(error, 1, run)), QStringList{"A0B1C2000001"});
    QCOMPARE(countMacPages(error, MacFilter()), 2);
    QCOMPARE(allRows().size(), 63);
    QVERIFY(markMacUsed({"A0:B1:C2:00:00:01", 1, "R5530", "BC", "li"}, error));
    QVERIFY(!takeUnusedMacs(error, 100).contains("A0B1C2000001"));
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestMacStore::clearAndFailures()
{
    seedRun(3);
    QString error;
    clearMacTable(error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(countMacPages(error, MacFilter()), 0);
    // Without the table every operation hands back the driver's text.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "drop");
        db.setDatabaseName(macDbFileName);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec("DROP TABLE mavo_rfid_mac"));
    }
    QSqlDatabase::removeDatabase("drop");
    clearMacTable(error);
    QVERIFY(error.contains("no such table"));
    error.clear();
    QCOMPARE(countMacPages(error, MacFilter()), 0);
    QVERIFY(error.contains("no such table"));
    error.clear();
    QCOMPARE(selectMacPage(error, 1, MacFilter()), QString());
    QVERIFY(error.contains("no such table"));
    const QStringList events = generate("90:7E:BA:74:B7:0C", 2, 6, 1, ":").events;
    QVERIFY2(events.at(1).contains("no such table"), qPrintable(events.join('\n')));
}

void TestMacStore::createTableOnNewInstallation()
{
    QSqlDatabase::removeDatabase(macConnectionName);
    QVERIFY(QFile::remove(macDbFileName));
    createMacTable();
    QVERIFY(generate("90:7E:BA:74:B7:0C", 2, 6, 1, ":").events.endsWith("end"));
    createMacTable(); // an existing table and its rows stay
    QCOMPARE(allRows().size(), 2);
}

QTEST_GUILESS_MAIN(TestMacStore)
#include "tst_macstore.moc"
