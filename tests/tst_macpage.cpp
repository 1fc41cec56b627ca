#include "macpool/dbpassword.h"
#include "macpool/handlerecorde.h"
#include "macpool/macstore.h"
#include "ui/boxes/custombox.h"
#include "ui/boxes/progressbar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace
{
constexpr int WAIT_MS = 60000; // a generation under the sanitizers included

template <typename T> T *child(QObject *root, const QString &name)
{
    T *found = root->findChild<T *>(name);
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

QString labelText(QObject *root, const QString &name)
{
    return child<QLabel>(root, name)->text();
}

void click(QObject *root, const QString &name)
{
    child<QPushButton>(root, name)->click();
}

// Answers the page's open gate dialog with these two entries.
void answerGate(HandleRecorde *page, const QString &password, const QString &confirmation)
{
    DBPassword *gate = page->gateDialog();
    QVERIFY(gate && gate->isVisible());
    child<QLineEdit>(gate, "lineEdit_ps_q")->setText(password);
    child<QLineEdit>(gate, "lineEdit_ps")->setText(confirmation);
    click(gate, "pushButton");
}

QString infoBoxText()
{
    return CustomInfoBox::instance() ? CustomInfoBox::instance()->text() : QString();
}

QStringList tableColumn(HandleRecorde *page, int column)
{
    auto *table = child<QTableWidget>(page, "tableWidget");
    QStringList cells;
    for (int row = 0; row < table->rowCount(); ++row)
        cells << table->item(row, column)->text();
    return cells;
}

QString pageLabels(HandleRecorde *page)
{
    return labelText(page, "label_current") + " / " + labelText(page, "label_sum");
}

void fillPool(int rows)
{
    MacRange range;
    range.first = 0x907EBA000000ULL;
    range.count = rows;
    range.step = 1;
    QString error;
    QVERIFY2(insertMacRange(macConnectionName, range, QString(), error, {}), qPrintable(error));
}

QStringList poolRows()
{
    QString error;
    QStringList macs;
    for (const QString &entry : selectMacPage(error, 1, MacFilter()).split(';', Qt::SkipEmptyParts))
        macs << entry.section('|', 0, 0);
    return macs;
}
} // namespace

class TestMacPage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void gate_data();
    void gate();
    void generationThroughTheGate_data();
    void generationThroughTheGate();
    void refusedStartAddress_data();
    void refusedStartAddress();
    void pagingThroughASearch();
    void searches_data();
    void searches();
    void databaseFailuresAreReported();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString oldCurrent;
    std::unique_ptr<HandleRecorde> page;
};

void TestMacPage::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    createMacTable();
    page.reset(new HandleRecorde);
    page->show();
    if (CustomInfoBox::instance())
        CustomInfoBox::instance()->close();
}

void TestMacPage::cleanup()
{
    page.reset();
    QSqlDatabase::removeDatabase(macConnectionName);
    QDir::setCurrent(oldCurrent);
    dir.reset();
}

void TestMacPage::gate_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirmation");
    QTest::addColumn<QString>("message"); // empty: accepted, the pool is cleared

    QTest::newRow("right password, other confirmation: mismatch first") << "580274"
                                                                        << "580275"
                                                                        << "两次输入密码不正确!";
    QTest::newRow("same wrong entries") << "123456"
                                        << "123456"
                                        << "密码不正确!";
    QTest::newRow("empty entries") << ""
                                   << ""
                                   << "密码不正确!";
    QTest::newRow("right password twice") << "580274"
                                          << "580274"
                                          << "";
}

void TestMacPage::gate()
{
    QFETCH(QString, password);
    QFETCH(QString, confirmation);
    QFETCH(QString, message);
    fillPool(3);
    click(page.get(), "pushButton_clear_db");
    DBPassword *gate = page->gateDialog();
    QVERIFY(gate && gate->isModal());
    QVERIFY(!child<QLabel>(gate, "label_info")->isVisibleTo(gate));
    answerGate(page.get(), password, confirmation);
    if (message.isEmpty()) {
        QVERIFY(!gate->isVisible());
        QCOMPARE(infoBoxText(), QString("数据库已经清空."));
        QCOMPARE(poolRows(), QStringList());
    } else {
        QVERIFY(gate->isVisible());
        QVERIFY(child<QLabel>(gate, "label_info")->isVisibleTo(gate));
        QCOMPARE(labelText(gate, "label_info"), message);
        QCOMPARE(poolRows().size(), 3);
    }
}

void TestMacPage::generationThroughTheGate_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("typedByte5");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");

    QTest::newRow("无 separator, typed b7 upper-cased") << "无"
                                                        << "b7" << 2 << "90:7E:BA:74:B7:0D";
    QTest::newRow("typed separator") << "."
                                     << "B7" << 1 << "90:7E:BA:74:B7:0C";
    QTest::newRow("dash, carry across the tail") << "-"
                                                 << "b7" << 245 << "90:7E:BA:74:B8:00";
}

void TestMacPage::generationThroughTheGate()
{
    QFETCH(QString, separator);
    QFETCH(QString, typedByte5);
    QFETCH(int, count);
    QFETCH(QString, last);
    child<QComboBox>(page.get(), "comboBox_sep")->setCurrentText(separator);
    child<QComboBox>(page.get(), "comboBox_mac5")->setCurrentText(typedByte5);
    child<QSpinBox>(page.get(), "spinBox_num")->setValue(count);
    click(page.get(), "pushButton_genarote");
    answerGate(page.get(), "580274", "580274");

    // Until the worker's end arrives nothing may reach the database from the page.
    QVERIFY(page->isGenerating());
    for (const char *name : {"pushButton_genarote", "pushButton_clear_db", "pushButton_find",
                             "pushButton_status", "pushButton_create_time", "pushButton_used_time",
                             "pushButton_operator", "pushButton_up", "pushButton_down"})
        QVERIFY2(!child<QPushButton>(page.get(), name)->isEnabled(), name);
    Progressbar *box = page->progressBox();
    QVERIFY(box->isVisible() && box->isModal());
    box->close(); // closed early: the buttons stay disabled until the end
    QVERIFY(!child<QPushButton>(page.get(), "pushButton_find")->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(!page->isGenerating(), WAIT_MS);
    QVERIFY(child<QPushButton>(page.get(), "pushButton_find")->isEnabled());
    auto *bar = child<QProgressBar>(box, "progressBar");
    QCOMPARE(bar->maximum(), count + 1);
    QCOMPARE(bar->value(), count + 1);
    QString error;
    QCOMPARE(countMacPages(error, MacFilter()), (count + 49) / 50);
    QCOMPARE(poolRows().first(), QString("90:7E:BA:74:B7:0C")); // the first row in colon form
    MacFilter lastRow;
    lastRow.mac = last;
    QCOMPARE(countMacPages(error, lastRow), 1);
}

void TestMacPage::refusedStartAddress_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty byte field") << "comboBox_mac3"
                                      << "" << 1 << "第3个字节为空";
    QTest::newRow("separator holding a hex digit") << "comboBox_sep"
                                                   << "A" << 1 << "分隔符";
    QTest::newRow("range past the tail's six digits")
        << "comboBox_mac4"
        << "FF" << 10000 << "最后一个地址将是90:7E:BB:00:26:1B";
}

void TestMacPage::refusedStartAddress()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QString, message);
    child<QComboBox>(page.get(), "comboBox_mac5")->setCurrentText("FF");
    child<QComboBox>(page.get(), field)->setCurrentText(text);
    child<QSpinBox>(page.get(), "spinBox_num")->setValue(count);
    click(page.get(), "pushButton_genarote");
    QVERIFY(!page->gateDialog());
    QVERIFY(CustomWarningBox::instance() && CustomWarningBox::instance()->isVisible());
    QVERIFY2(CustomWarningBox::instance()->text().contains(message),
             qPrintable(CustomWarningBox::instance()->text()));
    CustomWarningBox::instance()->close();
    QCOMPARE(poolRows(), QStringList());
}

void TestMacPage::pagingThroughASearch()
{
    fillPool(120);
    QCOMPARE(pageLabels(page.get()), QString("* / *"));
    click(page.get(), "pushButton_down");
    click(page.get(), "pushButton_up");
    QCOMPARE(tableColumn(page.get(), 0), QStringList());
    QCOMPARE(page->currentQueryMode(), 0);

    child<QLineEdit>(page.get(), "lineEdit_mac_find")->setText("90:7e:ba:00");
    click(page.get(), "pushButton_find");
    QCOMPARE(page->currentQueryMode(), 4);
    QCOMPARE(pageLabels(page.get()), QString("1 / 3"));
    QCOMPARE(tableColumn(page.get(), 0).size(), 50);
    QCOMPARE(tableColumn(page.get(), 2).first(), QString("否"));
    click(page.get(), "pushButton_down");
    QCOMPARE(pageLabels(page.get()), QString("2 / 3"));
    QCOMPARE(tableColumn(page.get(), 0).first(), QString("90:7E:BA:00:00:32")); // row 51
    click(page.get(), "pushButton_down");
    QCOMPARE(pageLabels(page.get()), QString("3 / 3"));
    QCOMPARE(tableColumn(page.get(), 0).size(), 20);
    QCOMPARE(tableColumn(page.get(), 0).last(), QString("90:7E:BA:00:00:77")); // row 120
    click(page.get(), "pushButton_down");
    QCOMPARE(pageLabels(page.get()), QString("3 / 3"));
    click(page.get(), "pushButton_up");
    QCOMPARE(pageLabels(page.get()), QString("2 / 3"));
    auto *cell = child<QTableWidget>(page.get(), "tableWidget")->item(0, 0);
    QVERIFY(!(cell->flags() & Qt::ItemIsEditable));
    QCOMPARE(cell->textAlignment(), int(Qt::AlignCenter));
}

void TestMacPage::searches_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("statusIndex");
    QTest::addColumn<QString>("operatorText");
    QTest::addColumn<bool>("operatorTicked");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QStringList>("selected");

    const QString a = "90:7E:BA:00:00:00", b = "90:7E:BA:00:00:01", c = "90:7E:BA:00:00:02",
                  d = "90:7E:BA:00:00:03";
    QTest::newRow("status: free") << "pushButton_status" << 0 << "" << false << "radioButton_all"
                                  << QStringList{a, d};
    QTest::newRow("status: used, operator ticked")
        << "pushButton_status" << 1 << "zhang" << true << "radioButton_all" << QStringList{b};
    QTest::newRow("status: all, unticked operator ignored")
        << "pushButton_status" << 2 << "zhang" << false << "radioButton_all"
        << QStringList{a, b, c, d};
    QTest::newRow("status: all, used today by the date radio")
        << "pushButton_status" << 2 << "" << false << "radioButton_used_date" << QStringList{b, c};
    QTest::newRow("operator search ignores its check box")
        << "pushButton_operator" << 2 << "li" << false << "radioButton_all" << QStringList{c};
    QTest::newRow("creation date, whatever the radio")
        << "pushButton_create_time" << 2 << "" << false << "radioButton_used_date"
        << QStringList{a, b, c, d};
    QTest::newRow("date of use with the operator ticked")
        << "pushButton_used_time" << 2 << "li" << true << "radioButton_all" << QStringList{c};
    QTest::newRow("operator named like the column")
        << "pushButton_operator" << 2 << "Operator" << false << "radioButton_all" << QStringList();
}

void TestMacPage::searches()
{
    QFETCH(QString, button);
    QFETCH(int, statusIndex);
    QFETCH(QString, operatorText);
    QFETCH(bool, operatorTicked);
    QFETCH(QString, radio);
    QFETCH(QStringList, selected);
    fillPool(4);
    QString error;
    QVERIFY(markMacUsed({"90:7E:BA:00:00:01", 1, "R5530", "BC1", "zhang"}, error));
    QVERIFY(markMacUsed({"90:7E:BA:00:00:02", 1, "R5530", "BC2", "li"}, error));
    child<QComboBox>(page.get(), "comboBox_status")->setCurrentIndex(statusIndex);
    child<QLineEdit>(page.get(), "lineEdit_operator")->setText(operatorText);
    child<QCheckBox>(page.get(), "checkBox_operator")->setChecked(operatorTicked);
    child<QRadioButton>(page.get(), radio)->setChecked(true);
    click(page.get(), button);
    QCOMPARE(tableColumn(page.get(), 0), selected);
    QCOMPARE(pageLabels(page.get()), QString("1 / 1"));
    const QString used = statusIndex == 1 ? "是" : "否";
    if (statusIndex != 2 && !selected.isEmpty())
        QCOMPARE(tableColumn(page.get(), 2).first(), used);
    QVERIFY(!CustomInfoBox::instance() || !CustomInfoBox::instance()->isVisible());
}

void TestMacPage::databaseFailuresAreReported()
{
    fillPool(3);
    click(page.get(), "pushButton_status");
    QCOMPARE(tableColumn(page.get(), 0).size(), 3);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "drop");
        db.setDatabaseName(macDbFileName);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec("DROP TABLE mavo_rfid_mac"));
    }
    QSqlDatabase::removeDatabase("drop");
    click(page.get(), "pushButton_find");
    QVERIFY(CustomInfoBox::instance()->isVisible());
    QCOMPARE(CustomInfoBox::instance()->title(), QString("数据库操作错误"));
    QVERIFY(infoBoxText().contains("no such table"));
    QCOMPARE(tableColumn(page.get(), 0).size(), 3); // the table keeps what it showed
    QCOMPARE(pageLabels(page.get()), QString("1 / 1"));
    CustomInfoBox::instance()->close();

    click(page.get(), "pushButton_clear_db");
    answerGate(page.get(), "580274", "580274");
    QCOMPARE(CustomInfoBox::instance()->title(), QString("数据库操作错误"));
    QVERIFY(infoBoxText().contains("no such table"));
}

QTEST_MAIN(TestMacPage)
#include "tst_macpage.moc"
