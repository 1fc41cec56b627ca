#pragma once

#include <QDialog>
#include <QString>

namespace Ui
{
class SetSSID;
}

// The dialog "SSID设置": checks a new SSID against the current SSID, the
// current Wi-Fi password and Wi-Fi's limit of 32 bytes (local 8-bit
// encoding) and hands an accepted one, exactly as typed, to the
// device page through sendNewSSID. Not shown by the constructor.
class SetSSID : public QDialog
{
    Q_OBJECT

public:
    SetSSID(const QString &currentSsid, const QString &currentWifiPassword,
            QWidget *parent = nullptr);
    ~SetSSID() override;

signals:
    // The accepted SSID, untrimmed; emitted once, after the dialog has closed.
    void sendNewSSID(QString ssid);

private slots:
    void on_pushButton_Ok_clicked();
    void on_pushButton_Cancel_clicked();
    void on_lineEdit_setSSID_textChanged(const QString &arg1);

private:
    // The rejection text for the entry, empty if it passes.
    QString rejection(const QString &ssid) const;

    Ui::SetSSID *ui;
    const QString m_currentPassword;
};
