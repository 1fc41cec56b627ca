#pragma once

#include <QDialog>
#include <QString>

namespace Ui
{
class SetMac;
}

// The dialog "MAC设置": takes the next free address from the MAC pool, shows
// it in colon form and hands a confirmed one to its creator through
// sendNewMac. It never changes the pool: an address fetched but not
// confirmed stays free. Not shown by the constructor.
class SetMac : public QDialog
{
    Q_OBJECT

public:
    SetMac(const QString &currentMac, QWidget *parent = nullptr);
    ~SetMac() override;

signals:
    // The confirmed address as shown in lineEdit; emitted once per
    // confirmation, after the dialog has closed.
    void sendNewMac(QString mac);

private slots:
    // The stored address in colon form; see formatStoredMac.
    QString formatMac(QString macAddr);
    void on_pushButton_Ok_clicked();
    void on_pushButton_Cancel_clicked();
    void on_pushButton_getMac_clicked();

private:
    void showMessage(const QString &text);

    Ui::SetMac *ui;
};
