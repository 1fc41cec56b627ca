#pragma once

#include <QDialog>
#include <QString>

namespace Ui
{
class SetMac;
}

// The dialog "MAC设置": claims the next free address of the local MAC pool
// under the process's claimer name, shows it in colon form and hands a
// confirmed one to its creator through sendNewMac, who then confirms,
// releases or quarantines the claim. Cancelling, closing or destroying the
// dialog releases an address it holds. Not shown by the constructor.
class SetMac : public QDialog
{
    Q_OBJECT

public:
    SetMac(const QString &currentMac, QWidget *parent = nullptr);
    ~SetMac() override;

public slots:
    // Closes the dialog and gives a claimed address back.
    void reject() override;

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
    void releaseClaim();

    Ui::SetMac *ui;
    QString claimed; // the stored text of the address held, until handed over
};
