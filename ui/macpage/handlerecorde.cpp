#include "ui/macpage/handlerecorde.h"
#include "ui_handlerecorde.h"

#include "base/macaddress.h"
#include "ui/boxes/custombox.h"
#include "ui/boxes/progressbar.h"
#include "ui/macpage/dbpassword.h"
#include "ui/macpage/handlesqlmac.h"

#include <QDate>
#include <QDateTime>
#include <QHeaderView>
#include <QRegularExpressionValidator>
#include <QScrollBar>

namespace
{
constexpr int END_WAIT_MS = 2000;
// Table rows that stay on screen however small the window: the controls
// above the table scroll instead.
constexpr int SHOWN_ROWS = 10;
constexpr int ROW_PADDING = 5;
const char *const BATCH_TIME_FORMAT = "yyyyMMddhhmmsszzz";
} // namespace

HandleRecorde::HandleRecorde(QWidget *parent)
    : QWidget(parent), ui(new Ui::HandleRecorde),
      progress(new Progressbar(tr("正在生成MAC信息"), this))
{
    ui->setupUi(this);
    progress->setModal(true);
    setUpStartFields();
    keepRowsOnScreen();
    ui->dateEdit_find->setDate(QDate::currentDate());
    ui->dateEdit_used->setDate(QDate::currentDate());
}

HandleRecorde::~HandleRecorde()
{
    if (worker) { // a generation outlives the page only until its thread ends
        worker->disconnect(this);
        worker->wait();
        delete worker;
    }
    delete ui;
}

// Lists "00" to "FE" ("FF" is typed), accepts 0 to 2 hexadecimal digits and
// starts from 90:7E:BA:74:B7:0C.
void HandleRecorde::setUpStartFields()
{
    QStringList bytes;
    for (int value = 0; value < 0xFF; ++value)
        bytes << QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
    const QStringList initial{"90", "7E", "BA", "74", "B7", "0C"};
    const QList<QComboBox *> fields{ui->comboBox_mac1, ui->comboBox_mac2, ui->comboBox_mac3,
                                    ui->comboBox_mac4, ui->comboBox_mac5, ui->comboBox_mac6};
    const QRegularExpression hexByte(QStringLiteral("[0-9a-fA-F]{0,2}"));
    for (int i = 0; i < fields.size(); ++i) {
        fields[i]->addItems(bytes);
        fields[i]->setValidator(new QRegularExpressionValidator(hexByte, fields[i]));
        fields[i]->setCurrentText(initial.at(i));
    }
}

// The table keeps SHOWN_ROWS rows between its header and its scroll bar,
// rows as high as a line of text and its padding; the controls give way.
void HandleRecorde::keepRowsOnScreen()
{
    QTableWidget *table = ui->tableWidget;
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + ROW_PADDING);
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height() +
                            SHOWN_ROWS * table->verticalHeader()->defaultSectionSize() +
                            table->horizontalScrollBar()->sizeHint().height() +
                            2 * table->frameWidth());
    ui->verticalLayout->setStretchFactor(table, 1);
}

// Replaces the gate of an earlier click; `action` runs once the password is
// accepted.
void HandleRecorde::openGate(void (HandleRecorde::*action)())
{
    delete gate;
    gate = new DBPassword(dbPassword, this);
    connect(gate, &DBPassword::psOk, this, action);
    gate->setModal(true);
    gate->show();
}

void HandleRecorde::on_pushButton_genarote_clicked()
{
    const QString why = checkStartAddress();
    if (!why.isEmpty()) {
        CustomWarningBox::showWarningBox(tr("提示"), why);
        return;
    }
    openGate(&HandleRecorde::startGeneration);
}

void HandleRecorde::on_pushButton_clear_db_clicked()
{
    openGate(&HandleRecorde::clearPool);
}

QString HandleRecorde::separatorText() const
{
    const QString text = ui->comboBox_sep->currentText();
    return text == tr("无") ? QString() : text;
}

QStringList HandleRecorde::startFieldTexts() const
{
    return {ui->comboBox_mac1->currentText(), ui->comboBox_mac2->currentText(),
            ui->comboBox_mac3->currentText(), ui->comboBox_mac4->currentText(),
            ui->comboBox_mac5->currentText(), ui->comboBox_mac6->currentText()};
}

// Empty when the fields, the separator and the range can be generated.
QString HandleRecorde::checkStartAddress() const
{
    const QString why = checkStartFields(startFieldTexts(), separatorText());
    if (!why.isEmpty())
        return why;
    MacRange range;
    QString rangeWhy;
    planMacRange(joinStartFields(startFieldTexts(), separatorText()), ui->spinBox_num->value(),
                 ui->spinBox_headLen->value(), ui->spinBox_step->value(), separatorText(), range,
                 rangeWhy);
    return rangeWhy;
}

void HandleRecorde::startGeneration()
{
    if (worker)
        return;
    const int count = ui->spinBox_num->value();
    const QString start = joinStartFields(startFieldTexts(), separatorText());
    QString why;
    planMacRange(start, count, ui->spinBox_headLen->value(), ui->spinBox_step->value(),
                 separatorText(), generatedRange, why);
    // Marks the rows of this generation, so that the table can show them.
    generatedBatch = QDateTime::currentDateTime().toString(QLatin1String(BATCH_TIME_FORMAT)) +
                     QLatin1Char(' ') + colonMac(generatedRange.first);
    generationError.clear();
    worker = new HandleSqlMac(start, count, ui->spinBox_headLen->value(), ui->spinBox_step->value(),
                              separatorText(), generatedBatch);
    connect(worker, &HandleSqlMac::isEndSignal, this, &HandleRecorde::endGeneration);
    connect(worker, &HandleSqlMac::progressVSignal, progress, &Progressbar::onSetValue);
    connect(worker, &HandleSqlMac::pageInfoSignal, this, [this](int current, int pages) {
        ui->label_current->setText(QString::number(current));
        ui->label_sum->setText(QString::number(pages));
    });
    connect(worker, &HandleSqlMac::errorMsg, progress, &Progressbar::onSetError);
    connect(worker, &HandleSqlMac::errorMsg, this,
            [this](const QString &message) { generationError = message; });
    setDatabaseActionsEnabled(false);
    worker->start(QThread::InheritPriority);
    progress->onSetRange(0, count + 1);
    progress->show();
}

void HandleRecorde::endGeneration()
{
    if (!worker)
        return;
    worker->quit();
    bool finished = worker->wait(END_WAIT_MS);
    if (!finished) { // run() has emitted its last signal; let the thread end on its own
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        finished = worker->isFinished();
    }
    if (finished)
        delete worker;
    worker = nullptr;
    setDatabaseActionsEnabled(true);
    reportGeneration();
}

// The progress box goes. A stored range is named in the information box and
// its first page shown in the table; a failure shows the store's text.
void HandleRecorde::reportGeneration()
{
    progress->close();
    if (!generationError.isEmpty()) {
        CustomWarningBox::showWarningBox(tr("数据库操作错误"), generationError);
        return;
    }
    searchFirstPage(QUERY_GENERATED);
    const int count = generatedRange.count;
    CustomInfoBox::showInfoBox(
        tr("MAC生成"),
        tr("已存入%1个MAC地址：%2 至 %3")
            .arg(count)
            .arg(colonMac(generatedRange.first), colonMac(generatedRange.address(count - 1))));
}

void HandleRecorde::clearPool()
{
    QString error;
    clearMacTable(error);
    if (error.isEmpty())
        CustomInfoBox::showInfoBox(tr("数据库操作"), tr("数据库已经清空."));
    else
        CustomInfoBox::showInfoBox(tr("数据库操作错误"), error);
}

// Nothing may reach the database while a generation runs, even with the
// progress box closed early.
void HandleRecorde::setDatabaseActionsEnabled(bool enabled)
{
    for (QPushButton *action :
         {ui->pushButton_genarote, ui->pushButton_clear_db, ui->pushButton_create_time,
          ui->pushButton_status, ui->pushButton_used_time, ui->pushButton_operator,
          ui->pushButton_find, ui->pushButton_up, ui->pushButton_down})
        action->setEnabled(enabled);
}
