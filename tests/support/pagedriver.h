#pragma once

// Drives the device page the way a technician does: by the object names of
// its widgets. Shared by the page's tests.

#include "ui/device/sigledebug.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

class PageDriver
{
public:
    explicit PageDriver(SigleDebug *page) : page(page) {}

    template <typename T = QWidget> T *widget(const char *name) const
    {
        return page->findChild<T *>(QString::fromLatin1(name));
    }
    QPushButton *button(const char *name) const { return widget<QPushButton>(name); }
    QString labelText(const char *name) const { return widget<QLabel>(name)->text(); }
    bool isShown(const char *name) const { return !widget(name)->isHidden(); }

    // The longest wait for the page's line to answer an action.
    static constexpr int ANSWER_MS = 15000;

    // Selects `port` in the port list and presses "打开"; true when it opened
    // (once the line answered).
    bool openPort(const QString &port) const;
    // Types the credentials into the login panel and presses "登录". Returns
    // when the login attempt (with its refresh) has run to its end.
    void login(const QString &account, const QString &password) const;

    // Presses "刷新" and returns once the actions are back after the pause.
    void refresh() const;

    QString wifiPasswordText() const;
    QPushButton *enterButton() const;

    bool inDeviceView() const { return isShown("groupBox_3") && !isShown("widget"); }
    bool inLoginView() const { return isShown("widget") && !isShown("groupBox_3"); }

    // The text of the shared boxes, empty while a box was never shown.
    static QString warningText();
    static QString infoText();
    static void hideBoxes();

private:
    SigleDebug *page;
};
