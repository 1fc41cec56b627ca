#include "base/logging.h"
#include "base/macaddress.h"
#include "macpool/macstore.h"
#include "ui/macpage/handlesqlmac.h"

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
// Runs SQL straight on the pool file, as an older tool or a day's work left it; each row of
// `rows` is bound to one execution of `sql`.
void onPoolFile(const QString &sql, const QList<QVariantList> &rows = {{}})
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "direct");
        db.setDatabaseName(macDbFileName);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.prepare(sql));
        for (const QVariantList &row : rows) {
            for (const QVariant &value : row)
                query.addBindValue(value);
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase("direct");
}

// Pool rows: address, created, IsUsed, used at, operator, batch (board type and bar code are
// set for used rows).
void seed(const QList<QStringList> &rows)
{
    QList<QVariantList> values;
    for (const QStringList &r : rows) {
        const bool used = r.at(2) == "1";
        values << QVariantList{r.at(0),
                               r.at(1),
                               r.at(2).toInt(),
                               used ? r.at(3) : QVariant(),
                               used ? QVariant("R5530") : QVariant(),
                               used ? QVariant("BC-" + r.at(0)) : QVariant(),
                               used ? r.at(4) : QVariant(),
                               r.value(5)};
    }
    onPoolFile("INSERT INTO mavo_rfid_mac VALUES (?, ?, ?, ?, ?, ?, ?, ?)", values);
}

void seedRun(int rows)
{
    QList<QStringList> list;
    for (int i = 0; i < rows; ++i)
        list << QStringList{colonMac(0x907EBA000000ULL + i), "2024-01-01 08:00:00", "0"};
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
    for (int page = 1; page <= countMacPages(MacFilter(), error); ++page)
        macs << column0(macPageText(selectMacPage(page, MacFilter(), error)));
    return macs;
}

// Runs one generation to its end and returns its signals in order ("progress 1", "error …",
// "end"). Direct connections run on the worker thread; the list is read after wait().
QStringList generate(const QString &start, int count, int step = 1, const QString &sep = ":")
{
    QStringList events;
    HandleSqlMac worker(start, count, 6, step, sep, QString());
    QObject::connect(&worker, &HandleSqlMac::progressVSignal,
                     [&](int v) { events << QStringLiteral("progress %1").arg(v); });
    QObject::connect(&worker, &HandleSqlMac::errorMsg,
                     [&](QString msg) { events << "error " + msg; });
    QObject::connect(&worker, &HandleSqlMac::isEndSignal, [&] { events << "end"; });
    QObject::connect(&worker, &HandleSqlMac::pageInfoSignal, [&] { events << "pageInfo"; });
    worker.start();
    if (!worker.wait(120000))
        qFatal("generation did not end");
    return events;
}
} // namespace

class TestMacStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rangePlan_data();
    void rangePlan();
    void generation_data();
    void generation();
    void overlappingOrLargestRange();
    void filters_data();
    void filters();
    void paging_data();
    void paging();
    void markUsed_data();
    void markUsed();
    void legacyFileIsReadAndSearched();
    void failuresAndNewInstallation();

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

void TestMacStore::rangePlan_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("headLength");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("lastOrRefusal"); // last address, or what the refusal names

    QTest::newRow("twelve-digit tail in 64 bits")
        << "02:00:00:00:00:00" << 10000 << 0 << 100 << "02:00:00:0F:41:DC";
    QTest::newRow("tail exactly filled")
        << "90:7E:BA:FF:FF:FE" << 2 << 6 << 1 << "90:7E:BA:FF:FF:FF";
    QTest::newRow("would carry into the head")
        << "90:7E:BA:FF:FF:FE" << 3 << 6 << 1 << "最后一个地址将是90:7E:BB:00:00:00";
    QTest::newRow("would pass FF:FF:FF:FF:FF:FF")
        << "FF:FF:FF:FF:FF:FF" << 2 << 0 << 1 << "最后一个地址将是1:00:00:00:00:00:00";
    QTest::newRow("tail of nine digits past 32 bits")
        << "90:7E:BF:FF:FF:FF" << 2 << 3 << 1 << "90:7E:C0:00:00:00";
    QTest::newRow("zero address refused") << "00:00:00:00:00:00" << 1 << 6 << 1 << "全为零";
    QTest::newRow("range reaching a group address refused")
        << "00:FF:FF:FF:FF:FF" << 2 << 0 << 1 << "01:00:00:00:00:00";
    QTest::newRow("other separator left in")
        << "90.7E.BA.74.B7.0C" << 2 << 6 << 1 << "去掉分隔符后不是12位";
}

void TestMacStore::rangePlan()
{
    QFETCH(QString, start);
    QFETCH(int, count);
    QFETCH(int, headLength);
    QFETCH(int, step);
    QFETCH(QString, lastOrRefusal);
    MacRange range;
    QString why;
    if (planMacRange(start, count, headLength, step, ":", range, why))
        QCOMPARE(colonMac(range.address(range.count - 1)), lastOrRefusal);
    else
        QVERIFY2(!why.isEmpty() && why.contains(lastOrRefusal), qPrintable(why));
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
    QTest::newRow("dash start, first row in colon form")
        << "90-7E-BA-74-B7-0C" << 2 << "-" << QStringList{"90:7E:BA:74:B7:0C", "90:7E:BA:74:B7:0D"}
        << QStringList{"progress 1", "progress 0", "progress 3", "end"};
    QTest::newRow("bare start, first row in colon form")
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
    QCOMPARE(generate(start, count, 1, separator), events);
    QCOMPARE(allRows(), stored);
}

void TestMacStore::overlappingOrLargestRange()
{
    // The largest range in one go; its progress every half per cent, not every row.
    const QStringList large = generate("90:7E:BA:00:00:00", 10000, 100);
    QCOMPARE(large.mid(large.size() - 3), (QStringList{"progress 9998", "progress 10001", "end"}));
    QVERIFY2(large.size() > 200 && large.size() < 206, qPrintable(QString::number(large.size())));
    const QStringList events = generate("90:7E:BA:0F:41:00", 4, 110); // ..:41:DC is stored
    QCOMPARE(events.size(), 4); // 1, error before any row went in, 90 %, end
    QVERIFY2(events.at(1).startsWith("error MAC地址90:7E:BA:0F:41:DC已在地址池中：") &&
                 !events.at(1).contains("UNIQUE") &&
                 events.at(1).endsWith(". 请检查MAC是否已创建或其他参数配置!"),
             qPrintable(events.at(1)));
    QCOMPARE(events.mid(2), (QStringList{"progress 5", "end"})); // (4 + 1) * 0.9 rounded
    QString error;
    QCOMPARE(countMacPages(MacFilter(), error), 200);
    MacFilter last;
    last.mac = "90:7E:BA:0F:41:";
    // 0F:41:00 and 0F:41:6E were refused with the clash.
    QCOMPARE(column0(macPageText(selectMacPage(1, last, error))),
             (QStringList{"90:7E:BA:0F:41:14", "90:7E:BA:0F:41:78", "90:7E:BA:0F:41:DC"}));
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
    QTest::newRow("address prefix, lower case")
        << with([](MacFilter &f) { f.mac = "90:7e:bb:00"; }) << QStringList{c, d};
    QTest::newRow("board type equal, not a prefix")
        << with([](MacFilter &f) { f.boardType = "R55"; }) << QStringList();
    QTest::newRow("bar code prefix")
        << with([](MacFilter &f) { f.barCode = "BC-90:7E:BA"; }) << QStringList{b};
    QTest::newRow("batch") << with([](MacFilter &f) { f.batch = "b2"; }) << QStringList{d};
    QTest::newRow("creation day") << with([](MacFilter &f) { f.createDate = "2024-03-05"; })
                                  << QStringList{a, b};
    QTest::newRow("day of use") << with([](MacFilter &f) { f.usedDate = "2024-03-07"; })
                                << QStringList{c, d};
    QTest::newRow("operator with a double quote")
        << with([](MacFilter &f) { f.operatorName = "O\"Brien"; }) << QStringList{c};
    QTest::newRow("operator named like the column: that text only")
        << with([](MacFilter &f) { f.operatorName = "Operator"; }) << QStringList{d};
    QTest::newRow("single quote in an address")
        << with([](MacFilter &f) { f.mac = "90'"; }) << QStringList();
    QTest::newRow("used, creation day and operator") << with([](MacFilter &f) {
        f.isUsed = 1;
        f.createDate = "2024-03-05";
        f.operatorName = "zhang";
    }) << QStringList{b};
}

void TestMacStore::filters()
{
    QFETCH(MacFilter, filter);
    QFETCH(QStringList, selected);
    seed({{"90:7E:BA:00:00:01", "2024-03-05 09:00:00", "0"},
          {"90:7E:BA:00:00:02", "2024-03-05 17:30:00", "1", "2024-03-06 10:00:00", "zhang"},
          {"90:7E:BB:00:00:03", "2024-03-06 08:00:00", "1", "2024-03-07 11:00:00", "O\"Brien"},
          {"90:7E:BB:00:00:04", "2024-03-06 08:00:00", "1", "2024-03-07 12:00:00", "Operator",
           "b2"}});
    QString error;
    QCOMPARE(countMacPages(filter, error), selected.isEmpty() ? 0 : 1);
    QCOMPARE(column0(macPageText(selectMacPage(1, filter, error))), selected);
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
    QCOMPARE(countMacPages(MacFilter(), error), pages);
    const QStringList last =
        column0(macPageText(selectMacPage(qMax(pages, 1), MacFilter(), error)));
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
    seed({{"90-7E-BA-74-B7-0C", "2024-03-05 09:00:00", "0"},
          {"90:7E:BA:74:B7:0D", "2024-03-05 09:00:00", "0"},
          {"907EBA74B70E", "2024-03-05 09:00:00", "0"}});
    QString errorText;
    QCOMPARE(markMacUsed({address, 1, "R5530", "BC7", "li"}, errorText), error.isEmpty());
    QVERIFY2(errorText.contains(error), qPrintable(errorText));
    MacFilter used;
    used.isUsed = 1;
    const QString page = macPageText(selectMacPage(1, used, errorText));
    QCOMPARE(column0(page), markedRow.isEmpty() ? QStringList() : QStringList{markedRow});
    if (!markedRow.isEmpty()) {
        QCOMPARE(page.split('|').mid(4), (QStringList{"R5530", "BC7", "li", ""}));
        QVERIFY(QDateTime::fromString(page.section('|', 3, 3), "yyyy-MM-dd hh:mm:ss").isValid());
    }
    const QStringList free = takeUnusedMacs(10, errorText);
    QCOMPARE(free.size(), markedRow.isEmpty() ? 3 : 2);
    QVERIFY(!free.contains(markedRow));
}

void TestMacStore::legacyFileIsReadAndSearched()
{
    onPoolFile("DROP TABLE mavo_rfid_mac");
    // The original statement, batchNum declared "varchar varchar(255)".
    onPoolFile("create table mavo_rfid_mac(MacAddr varchar(255) primary key,CreateDateTime "
               "varchar(255),IsUsed int,UsedDateTime varchar(255),BoardType varchar(255),BarCode "
               "varchar(255),Operator varchar(255),batchNum varchar varchar(255))");
    seed({{"90-7E-BA-74-B7-0C", "2024-03-05 09:00:00", "0"},
          {"90:7E:BA:74:B7:0D", "2024-03-05 09:00:00", "0"},
          {"A0B1C2000001", "2024-03-06 09:00:00", "1", "2024-03-06 10:00:00", "li"}});
    seedRun(60);
    QString error;
    MacFilter run;
    run.mac = "90:7E:BA:74:B7";
    QCOMPARE(column0(macPageText(selectMacPage(1, run, error))),
             (QStringList{"90-7E-BA-74-B7-0C", "90:7E:BA:74:B7:0D"}));
    run.mac = "a0:b1:c2";
    QCOMPARE(macPageText(selectMacPage(1, run, error)),
             "A0B1C2000001|2024-03-06 09:00:00|1|2024-03-06 10:00:00|R5530|BC-A0B1C2000001|li|");
    QCOMPARE(countMacPages(MacFilter(), error), 2);
    QCOMPARE(allRows().size(), 63);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestMacStore::failuresAndNewInstallation()
{
    seedRun(3);
    QString error;
    clearMacTable(error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(allRows(), QStringList());
    // Without the table each operation gives the store's own text; the driver's is traced.
    onPoolFile("DROP TABLE mavo_rfid_mac");
    const QString own = QStringLiteral("地址池数据库操作失败（原因见调试日志maint.macpool）");
    auto &trace = const_cast<QLoggingCategory &>(lcMacpool());
    trace.setEnabled(QtDebugMsg, true);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^failed: no such table"));
    clearMacTable(error);
    trace.setEnabled(QtDebugMsg, false);
    QCOMPARE(error, own);
    error.clear();
    QCOMPARE(countMacPages(MacFilter(), error), 0);
    QCOMPARE(error, own);
    error.clear();
    QCOMPARE(macPageText(selectMacPage(1, MacFilter(), error)), QString());
    QCOMPARE(error, own);
    QVERIFY(generate("90:7E:BA:74:B7:0C", 2).at(1).startsWith("error " + own));
    // A new installation: start-up creates the table in a file without it.
    createMacTable();
    QCOMPARE(generate("90:7E:BA:74:B7:0C", 2).last(), QString("end"));
    createMacTable(); // an existing table keeps its rows
    QCOMPARE(allRows().size(), 2);
}

QTEST_GUILESS_MAIN(TestMacStore)
#include "tst_macstore.moc"
