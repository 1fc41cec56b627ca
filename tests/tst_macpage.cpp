#include "macpool/macpool.h"
#include "macpool/unitrecords.h"
#include "ui/boxes/custombox.h"
#include "ui/boxes/progressbar.h"
#include "ui/macpage/dbpassword.h"
#include "ui/macpage/handlerecorde.h"

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
constexpr int WAIT_MS = 120000; // a generation under the sanitizers included

template <typename T = QWidget> T *child(QObject *root, const QString &name)
{
    T *found = root->findChild<T *>(name);
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

void click(QObject *root, const QString &name)
{
    child<QPushButton>(root, name)->click();
}

void answerGate(HandleRecorde *page, const QString &password, const QString &confirmation)
{
    QVERIFY(page->gateDialog() && page->gateDialog()->isVisible());
    child<QLineEdit>(page->gateDialog(), "lineEdit_ps_q")->setText(password);
    child<QLineEdit>(page->gateDialog(), "lineEdit_ps")->setText(confirmation);
    click(page->gateDialog(), "pushButton");
}

QString infoBox()
{
    CustomInfoBox *box = CustomInfoBox::instance();
    return box && box->isVisible() ? box->title() + ": " + box->text() : QString();
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
    return child<QLabel>(page, "label_current")->text() + " / " +
           child<QLabel>(page, "label_sum")->text();
}

void fillPool(int rows)
{
    QString error;
    QVERIFY2(MacPool(localPoolUrl()).generate({0x907EBA000000ULL, rows, 1}, QString(), error),
             qPrintable(error));
}

QStringList poolPage1()
{
    QString error;
    QStringList macs;
    for (const MacRow &row : selectMacPage(1, MacFilter(), error))
        macs << row.MacAddr;
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
    void wheelOverAValueField();

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
    QString error;
    QVERIFY(markMacUsed({"90:7E:BA:00:00:01", 1, "R5530", "BC1", "zhang"}, error));
    click(page.get(), "pushButton_status"); // the table shows the three
    click(page.get(), "pushButton_clear_db");
    DBPassword *gate = page->gateDialog();
    auto *info = child<QLabel>(gate, "label_info");
    QVERIFY(gate->isModal() && !info->isVisibleTo(gate));
    answerGate(page.get(), password, confirmation);
    QCOMPARE(bool(page->clearQuestion()), message.isEmpty()); // one more question, then "是"
    if (page->clearQuestion()) {
        QCOMPARE(page->clearQuestion()->text(),
                 QString("将删除地址池中的全部3个MAC地址，其中1个已使用"
                         "（已写入模块）。删除后不能恢复，确定清空吗？"));
        QPushButton *yes = page->clearQuestion()->findChildren<QPushButton *>().value(0);
        yes->click();
    }
    QCOMPARE(tableColumn(page.get(), 0).size(), message.isEmpty() ? 0 : 3);
    QCOMPARE(gate->isVisible(), !message.isEmpty());
    QCOMPARE(info->isVisibleTo(gate) ? info->text() : QString(), message);
    QCOMPARE(infoBox(), message.isEmpty() ? "数据库操作: 数据库已经清空." : QString());
    QCOMPARE(poolPage1().size(), message.isEmpty() ? 0 : 3);
}

void TestMacPage::generationThroughTheGate_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");
    QTest::addColumn<bool>("closedEarly"); // the technician closes the progress box at once
    QTest::addColumn<bool>("clash");       // 90:7E:BA:74:B7:0D is in the pool already

    QTest::newRow("无 separator") << "无" << 2 << "90:7E:BA:74:B7:0D" << true << false;
    QTest::newRow("typed separator") << "." << 1 << "90:7E:BA:74:B7:0C" << true << false;
    QTest::newRow("dash, carry across the tail")
        << "-" << 245 << "90:7E:BA:74:B8:00" << false << false;
    QTest::newRow("clash with the pool") << ":" << 3 << "90:7E:BA:74:B7:0E" << false << true;
}

void TestMacPage::generationThroughTheGate()
{
    QFETCH(QString, separator);
    QFETCH(int, count);
    QFETCH(QString, last);
    QFETCH(bool, closedEarly);
    QFETCH(bool, clash);
    QString error;
    if (clash)
        QVERIFY2(MacPool(localPoolUrl()).generate({0x907EBA74B70DULL, 1, 1}, QString(), error),
                 qPrintable(error));
    child<QComboBox>(page.get(), "comboBox_sep")->setCurrentText(separator);
    child<QComboBox>(page.get(), "comboBox_mac5")->setCurrentText("b7"); // stored as B7
    child<QComboBox>(page.get(), "comboBox_mac6")->setCurrentText("c");  // stored as 0C
    child<QSpinBox>(page.get(), "spinBox_num")->setValue(count);
    click(page.get(), "pushButton_genarote");
    answerGate(page.get(), "580274", "580274");

    // Until the worker's end arrives nothing may reach the database from the page, even
    // with the progress box closed early.
    QVERIFY(page->isGenerating());
    Progressbar *box = page->progressBox();
    QVERIFY(box->isVisible() && box->isModal());
    if (closedEarly)
        box->close();
    for (QPushButton *button : page->findChildren<QPushButton *>()) {
        if (button->window() == page.get()) // the nine database actions, not the gate's
            QVERIFY2(!button->isEnabled(), qPrintable(button->objectName()));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!page->isGenerating(), WAIT_MS);
    QVERIFY(child(page.get(), "pushButton_find")->isEnabled());
    QVERIFY(!box->isVisible()); // it closes by itself
    MacFilter lastRow;
    lastRow.mac = last;
    if (clash) { // nothing stored; the box names the address already in the pool
        CustomWarningBox *warning = CustomWarningBox::instance();
        QVERIFY(warning && warning->isVisible());
        QVERIFY2(warning->text().contains("90:7E:BA:74:B7:0D"), qPrintable(warning->text()));
        QCOMPARE(warning->title(), QString("数据库操作错误"));
        QCOMPARE(poolPage1(), QStringList{"90:7E:BA:74:B7:0D"});
        QCOMPARE(countMacPages(lastRow, error), 0);
        warning->close();
        return;
    }
    auto *bar = child<QProgressBar>(box, "progressBar");
    QCOMPARE(bar->maximum(), count + 1);
    QCOMPARE(bar->value(), count + 1);
    QCOMPARE(poolPage1().first(), QString("90:7E:BA:74:B7:0C"));
    QCOMPARE(countMacPages(lastRow, error), 1);
    QCOMPARE(countMacPages(MacFilter(), error), (count + 49) / 50);
    // The information box names the range; the table shows its first page.
    QCOMPARE(infoBox(),
             QString("MAC生成: 已存入%1个MAC地址：90:7E:BA:74:B7:0C 至 %2").arg(count).arg(last));
    const QStringList shown = tableColumn(page.get(), 0);
    QCOMPARE(shown.size(), qMin(count, 50));
    QCOMPARE(shown.first(), QString("90:7E:BA:74:B7:0C"));
    QCOMPARE(pageLabels(page.get()), QString("1 / %1").arg((count + 49) / 50));
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
    QTest::newRow("group address") << "comboBox_mac1"
                                   << "91" << 1 << "组播";
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
    CustomWarningBox *box = CustomWarningBox::instance();
    QVERIFY(box && box->isVisible());
    QVERIFY2(box->text().contains(message), qPrintable(box->text()));
    box->close();
}

void TestMacPage::pagingThroughASearch()
{
    fillPool(120);
    QCOMPARE(pageLabels(page.get()), QString("0 / 0"));
    click(page.get(), "pushButton_down");
    click(page.get(), "pushButton_up");
    QCOMPARE(tableColumn(page.get(), 0), QStringList());
    child<QLineEdit>(page.get(), "lineEdit_mac_find")->setText("90:7e:ba:00");
    click(page.get(), "pushButton_find");
    QCOMPARE(page->currentQueryMode(), 4);
    QCOMPARE(pageLabels(page.get()), QString("1 / 3"));
    QCOMPARE(tableColumn(page.get(), 0).size(), 50);
    click(page.get(), "pushButton_down");
    QCOMPARE(pageLabels(page.get()), QString("2 / 3"));
    QCOMPARE(tableColumn(page.get(), 0).first(), QString("90:7E:BA:00:00:32")); // row 51
    click(page.get(), "pushButton_down");
    click(page.get(), "pushButton_down");
    QCOMPARE(pageLabels(page.get()), QString("3 / 3"));
    QCOMPARE(tableColumn(page.get(), 0).size(), 20);
    QCOMPARE(tableColumn(page.get(), 0).last(), QString("90:7E:BA:00:00:77")); // row 120
    click(page.get(), "pushButton_up");
    QCOMPARE(pageLabels(page.get()), QString("2 / 3"));
    QTest::keyClick(child<QLineEdit>(page.get(), "lineEdit_mac_find"), Qt::Key_Return);
    QCOMPARE(pageLabels(page.get()), QString("1 / 3")); // Enter searches anew
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
    QTest::addColumn<QString>("usedColumn");
    QTest::addColumn<QString>("tip"); // of the first row: the unit record of a used address

    const QString unit = "工位 st-4，槽位 2，时间 2026-12-01T08:00:00Z";
    const QString a = "90:7E:BA:00:00:00", b = "90:7E:BA:00:00:01", c = "90:7E:BA:00:00:02",
                  d = "90:7E:BA:00:00:03";
    QTest::newRow("status: free") << "pushButton_status" << 0 << "" << false << "radioButton_all"
                                  << QStringList{a, d} << "否"
                                  << "";
    QTest::newRow("status: used, operator ticked")
        << "pushButton_status" << 1 << "zhang" << true << "radioButton_all" << QStringList{b}
        << "是" << unit;
    QTest::newRow("status: all, used today by the date radio")
        << "pushButton_status" << 2 << "" << false << "radioButton_used_date" << QStringList{b, c}
        << "是" << unit;
    QTest::newRow("operator search ignores its check box")
        << "pushButton_operator" << 2 << "li" << false << "radioButton_all" << QStringList{c}
        << "是"
        << "";
    QTest::newRow("date of use with the operator ticked")
        << "pushButton_used_time" << 2 << "li" << true << "radioButton_all" << QStringList{c}
        << "是"
        << "";
    QTest::newRow("operator named like the column")
        << "pushButton_operator" << 2 << "Operator" << false << "radioButton_all" << QStringList()
        << ""
        << "";
}

void TestMacPage::searches()
{
    QFETCH(QString, button);
    QFETCH(int, statusIndex);
    QFETCH(QString, operatorText);
    QFETCH(bool, operatorTicked);
    QFETCH(QString, radio);
    QFETCH(QStringList, selected);
    QFETCH(QString, usedColumn);
    QFETCH(QString, tip);
    fillPool(4);
    QString error;
    QVERIFY(markMacUsed({"90:7E:BA:00:00:01", 1, "R5530", "BC1", "zhang"}, error));
    UnitRecordStore records(localPoolUrl());
    QVERIFY2(records.createTable(error) && records.insert({{{"unitId", "u1"},
                                                            {"station", "st-4"},
                                                            {"slot", "2"},
                                                            {"startedAt", "2026-12-01T08:00:00Z"},
                                                            {"wifiMac", "90-7E-BA-00-00-01"}}},
                                                          error),
             qPrintable(error));
    QVERIFY(markMacUsed({"90:7E:BA:00:00:02", 1, "R5530", "BC2", "li"}, error));
    child<QComboBox>(page.get(), "comboBox_status")->setCurrentIndex(statusIndex);
    child<QLineEdit>(page.get(), "lineEdit_operator")->setText(operatorText);
    child<QCheckBox>(page.get(), "checkBox_operator")->setChecked(operatorTicked);
    child<QRadioButton>(page.get(), radio)->setChecked(true);
    click(page.get(), button);
    QCOMPARE(tableColumn(page.get(), 0), selected);
    QCOMPARE(tableColumn(page.get(), 2).value(0), usedColumn);
    auto *first = child<QTableWidget>(page.get(), "tableWidget")->item(0, 0);
    QCOMPARE(first ? first->toolTip() : QString(), tip);
    QCOMPARE(pageLabels(page.get()), QString("1 / 1"));
    QCOMPARE(infoBox(), QString());
}

void TestMacPage::databaseFailuresAreReported()
{
    fillPool(3);
    click(page.get(), "pushButton_status");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "drop");
        db.setDatabaseName(macDbFileName);
        QVERIFY(db.open() && QSqlQuery(db).exec("DROP TABLE mavo_rfid_mac"));
    }
    QSqlDatabase::removeDatabase("drop");
    click(page.get(), "pushButton_find");
    // The store's own words; the driver's go to the debug log.
    QVERIFY2(infoBox().startsWith("数据库操作错误: 地址池数据库操作失败"), qPrintable(infoBox()));
    QCOMPARE(tableColumn(page.get(), 0).size(), 3); // the table keeps what it showed
    QCOMPARE(pageLabels(page.get()), QString("1 / 1"));
    CustomInfoBox::instance()->close();
    click(page.get(), "pushButton_clear_db");
    answerGate(page.get(), "580274", "580274");
    QVERIFY2(infoBox().startsWith("数据库操作错误: 地址池数据库操作失败"), qPrintable(infoBox()));
}

// Only the focused field takes the wheel; elsewhere the page's scroll area does.
void TestMacPage::wheelOverAValueField()
{
    QVERIFY(QTest::qWaitForWindowActive(page.get()));
    auto *status = child<QComboBox>(page.get(), "comboBox_status");
    for (bool focused : {false, true}) {
        if (focused)
            status->setFocus();
        QTRY_COMPARE(status->hasFocus(), focused);
        QWheelEvent wheel(QPointF(), QPointF(), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(status, &wheel);
        QCOMPARE(wheel.isAccepted(), focused);
        QCOMPARE(status->currentIndex(), focused ? 1 : 2);
    }
}

QTEST_MAIN(TestMacPage)
#include "tst_macpage.moc"
