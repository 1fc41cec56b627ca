#include "ui/macpage/handlerecorde.h"

#include "base/logging.h"
#include "macpool/unitrecords.h"
#include "ui_handlerecorde.h"

#include "ui/boxes/custombox.h"

#include <QDebug>
#include <QTableWidgetItem>

void HandleRecorde::on_pushButton_used_time_clicked()
{
    searchFirstPage(QUERY_USED_DATE);
}

void HandleRecorde::on_pushButton_create_time_clicked()
{
    searchFirstPage(QUERY_CREATE_DATE);
}

void HandleRecorde::on_pushButton_status_clicked()
{
    searchFirstPage(QUERY_STATUS);
}

void HandleRecorde::on_pushButton_operator_clicked()
{
    searchFirstPage(QUERY_OPERATOR);
}

void HandleRecorde::on_pushButton_find_clicked()
{
    searchFirstPage(QUERY_ADDRESS);
}

void HandleRecorde::on_pushButton_up_clicked()
{
    turnPage(-1);
}

void HandleRecorde::on_pushButton_down_clicked()
{
    turnPage(+1);
}

// The operator line edit counts only with its check box ticked.
void HandleRecorde::applyOperatorRule(MacFilter &filter) const
{
    if (ui->checkBox_operator->isChecked())
        filter.operatorName = ui->lineEdit_operator->text();
}

// The selected date radio button chooses the date condition, if any.
void HandleRecorde::applyDateRule(MacFilter &filter) const
{
    if (ui->radioButton_create_date->isChecked())
        filter.createDate = ui->dateEdit_find->text();
    else if (ui->radioButton_used_date->isChecked())
        filter.usedDate = ui->dateEdit_used->text();
}

// The filter of one search, read from the widgets now.
MacFilter HandleRecorde::searchFilter(int mode) const
{
    MacFilter filter;
    switch (mode) {
    case QUERY_ADDRESS:
        filter.mac = ui->lineEdit_mac_find->text();
        break;
    case QUERY_STATUS:
        filter.isUsed = ui->comboBox_status->currentIndex();
        applyOperatorRule(filter);
        applyDateRule(filter);
        break;
    case QUERY_CREATE_DATE:
        filter.createDate = ui->dateEdit_find->text();
        applyOperatorRule(filter);
        break;
    case QUERY_USED_DATE:
        filter.usedDate = ui->dateEdit_used->text();
        applyOperatorRule(filter);
        break;
    case QUERY_OPERATOR:
        filter.operatorName = ui->lineEdit_operator->text();
        applyDateRule(filter);
        break;
    case QUERY_GENERATED:
        filter.batch = generatedBatch;
        break;
    default:
        break;
    }
    return filter;
}

// Shows page `page` of the search and returns its number of pages; a failure
// is reported in the information box, keeps the table and returns 0.
int HandleRecorde::runSearch(int mode, int page)
{
    const MacFilter filter = searchFilter(mode);
    QString error;
    const int pages = countMacPages(filter, error);
    if (!error.isEmpty()) {
        CustomInfoBox::showInfoBox(tr("数据库操作错误"), error);
        return 0;
    }
    fillTable(selectMacPage(page, filter, error));
    return pages;
}

void HandleRecorde::searchFirstPage(QueryMode mode)
{
    showPageInfo(1, runSearch(mode, 1));
    queryMode = mode;
}

// Paging reads the filter widgets again; nothing happens past either end or
// before the first search (the labels then read "*").
void HandleRecorde::turnPage(int delta)
{
    const int current = ui->label_current->text().toInt();
    const int total = ui->label_sum->text().toInt();
    if ((delta < 0 && current < 2) || (delta > 0 && current >= total))
        return;
    const int page = current + delta;
    showPageInfo(page, runSearch(queryMode, page));
}

void HandleRecorde::showPageInfo(int current, int pages)
{
    ui->label_current->setText(QString::number(current));
    ui->label_sum->setText(QString::number(qMax(pages, 1)));
}

// For each used address that a unit record of the pool names: the station,
// slot and time of the latest such unit.
QHash<QString, QString> HandleRecorde::unitNotes(const QList<MacRow> &rows) const
{
    QHash<QString, QString> notes;
    UnitRecordStore store(localPoolUrl());
    QString error;
    if (!store.isOpen() || !store.hasTable(error))
        return notes;
    for (const MacRow &row : rows) {
        UnitRecordRow unit;
        if (row.IsUsed == 1 && store.lastUse(row.MacAddr, unit, error))
            notes.insert(row.MacAddr,
                         tr("工位 %1，槽位 %2，时间 %3")
                             .arg(unit.station, unit.slot,
                                  unit.startedAt.isEmpty() ? unit.endedAt : unit.startedAt));
    }
    return notes;
}

// Column 2 reads "是" for a used address, "隔离" for a quarantined one (its
// outcome on a module is unknown; it is never handed out again), "未知" for
// a write whose outcome nobody recorded (never handed out either), else "否".
void HandleRecorde::fillTable(const QList<MacRow> &rows)
{
    QTableWidget *table = ui->tableWidget;
    table->clearContents();
    table->setRowCount(0);
    const QHash<QString, QString> notes = unitNotes(rows);
    for (const MacRow &row : rows) {
        qCDebug(lcMacpool).noquote() << macPageText({row});
        const QString use = row.IsUsed == 1                    ? tr("是")
                            : row.hold == MacHold::QUARANTINED ? tr("隔离")
                            : row.hold == MacHold::UNKNOWN     ? tr("未知")
                                                               : tr("否");
        const QStringList cells{row.MacAddr, row.CreateDateTime, use, row.UsedDateTime,
                                row.Operator};
        const int at = table->rowCount();
        table->insertRow(at);
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            if (row.hold == MacHold::QUARANTINED && !row.holdNote.isEmpty())
                item->setToolTip(row.holdNote);
            else if (notes.contains(row.MacAddr))
                item->setToolTip(notes.value(row.MacAddr));
            else if (column > 0)                    // the address is never elided
                item->setToolTip(cells.at(column)); // the whole of an elided text
            table->setItem(at, column, item);
        }
    }
}
