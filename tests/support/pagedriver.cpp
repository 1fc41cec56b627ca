#include "support/pagedriver.h"

#include "ui/boxes/custombox.h"
#include "ui/dialogs/login.h"

#include <QSignalSpy>
#include <QTest>

bool PageDriver::openPort(const QString &port) const
{
    auto *ports = widget<QComboBox>("comboBox_Com_2");
    const int index = ports->findText(port);
    if (index < 0)
        return false;
    ports->setCurrentIndex(index);
    QPushButton *connect = button("pushButton_Connect_2");
    QTest::mouseClick(connect, Qt::LeftButton);
    // The button waits, disabled, for the line's answer.
    return QTest::qWaitFor([connect] { return connect->isEnabled(); }, ANSWER_MS) &&
           connect->isChecked() && page->portIsOpen();
}

void PageDriver::login(const QString &account, const QString &password) const
{
    auto *panel = page->findChild<Login *>();
    panel->findChild<QLineEdit *>(QStringLiteral("lineEdit_id"))->setText(account);
    panel->findChild<QLineEdit *>(QStringLiteral("lineEdit_password"))->setText(password);
    QSignalSpy answered(page, &SigleDebug::enableEnter);
    QSignalSpy refreshed(page, &SigleDebug::deviceActionsEnabled);
    QTest::mouseClick(panel->findChild<QPushButton *>(QStringLiteral("pushButton_enter")),
                      Qt::LeftButton);
    // A login that opened the session has ended once its refresh did.
    if (QTest::qWaitFor([&answered] { return answered.count() > 0; }, ANSWER_MS) && inDeviceView())
        (void)QTest::qWaitFor([&refreshed] { return refreshed.count() > 0; }, ANSWER_MS);
}

void PageDriver::refresh() const
{
    QSignalSpy refreshed(page, &SigleDebug::deviceActionsEnabled);
    QTest::mouseClick(button("pushButton_refresh"), Qt::LeftButton);
    if (refreshed.isEmpty())
        refreshed.wait(ANSWER_MS);
}

QString PageDriver::warningText()
{
    return CustomWarningBox::instance() ? CustomWarningBox::instance()->text() : QString();
}

QString PageDriver::infoText()
{
    return CustomInfoBox::instance() ? CustomInfoBox::instance()->text() : QString();
}

void PageDriver::hideBoxes()
{
    if (CustomWarningBox::instance()) {
        CustomWarningBox::showWarningBox(QString(), QString());
        CustomWarningBox::instance()->hide();
    }
    if (CustomInfoBox::instance()) {
        CustomInfoBox::showInfoBox(QString(), QString());
        CustomInfoBox::instance()->hide();
    }
}

QString PageDriver::wifiPasswordText() const
{
    // The login panel has a field of the same name; take the device group's.
    return widget("groupBox_3")
        ->findChild<QLineEdit *>(QStringLiteral("lineEdit_password"))
        ->text();
}

QPushButton *PageDriver::enterButton() const
{
    return page->findChild<Login *>()->findChild<QPushButton *>(QStringLiteral("pushButton_enter"));
}
