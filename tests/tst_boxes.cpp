// Message boxes and the progress dialog: sharing, modality, self-deletion,
// fitting the text, and the progress dialog's error line and compact reset.

#include "ui/boxes/custombox.h"
#include "ui/boxes/progressbar.h"

#include <QApplication>
#include <QLabel>
#include <QMetaEnum>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QWindow>

namespace
{

int visibleTopLevelsOf(const QMetaObject &type)
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->metaObject() == &type)
            ++count;
    }
    return count;
}

QStringList shownButtons(const QWidget *box)
{
    QStringList shown;
    for (const QToolButton *button : box->findChildren<QToolButton *>()) {
        if (!button->isHidden())
            shown << button->objectName();
    }
    return shown;
}

QLabel *labelShowing(const QWidget *box, const QString &text)
{
    for (QLabel *label : box->findChildren<QLabel *>()) {
        if (label->text() == text)
            return label;
    }
    return nullptr;
}

} // namespace

class TestBoxes : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void twoQuickWarningsLeaveOneBox();
    void infoBoxIsSharedAndReplacesText();
    void boxesAreApplicationModal();
    void modalBoxBlocksInputToOtherWindows();
    void boxesOfferOnlyClose();
    void longTextWidensTheBox();
    void closingSharedBoxOnlyHidesIt();
    void tipsBoxIsShared();
    void tipsTwoIsNewPerUseAndDeletedOnClose();
    void keysCloseTheBoxes_data();
    void keysCloseTheBoxes();

    void progressbarStartsCompact();
    void progressbarErrorThenCloseComesBackCompact();
    void progressbarErrorIsRichTextInRed();
    void progressbarRangeAndValue();
};

void TestBoxes::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        widget->hide();
}

void TestBoxes::twoQuickWarningsLeaveOneBox()
{
    CustomWarningBox::showWarningBox(QStringLiteral("提示"), QStringLiteral("串口打开失败！"));
    CustomWarningBox *first = CustomWarningBox::instance();
    QVERIFY(first);
    CustomWarningBox::showWarningBox(QStringLiteral("警告"), QStringLiteral("设备无应答！"));

    QCOMPARE(CustomWarningBox::instance(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(first->title(), QStringLiteral("警告"));
    QCOMPARE(first->windowTitle(), QStringLiteral("警告"));
    QCOMPARE(first->text(), QStringLiteral("设备无应答！"));
    QCOMPARE(visibleTopLevelsOf(CustomWarningBox::staticMetaObject), 1);
    QVERIFY(!first->parentWidget());
}

void TestBoxes::infoBoxIsSharedAndReplacesText()
{
    CustomInfoBox::showInfoBox(QStringLiteral("提示"), QStringLiteral("修改成功！"));
    CustomInfoBox *box = CustomInfoBox::instance();
    QVERIFY(box);
    QVERIFY(qobject_cast<QWidget *>(box) != qobject_cast<QWidget *>(CustomWarningBox::instance()));
    QLabel *label = labelShowing(box, QStringLiteral("修改成功！"));
    QVERIFY(label);
    QCOMPARE(label->styleSheet(), QStringLiteral("font-size: 24px; color: rgb(0, 0, 0);"));
    QCOMPARE(label->alignment(), Qt::AlignCenter);

    CustomInfoBox::showInfoBox(QStringLiteral("提示"), QStringLiteral("升级完成！"));
    QCOMPARE(CustomInfoBox::instance(), box);
    QCOMPARE(box->text(), QStringLiteral("升级完成！"));
    QCOMPARE(visibleTopLevelsOf(CustomInfoBox::staticMetaObject), 1);
}

void TestBoxes::boxesAreApplicationModal()
{
    CustomInfoBox::showInfoBox(QStringLiteral("提示"), QStringLiteral("一"));
    CustomWarningBox::showWarningBox(QStringLiteral("提示"), QStringLiteral("二"));
    CustomWarningBoxTips::showTips(QStringLiteral("提示"), QStringLiteral("三"),
                                   QStringLiteral("四"));
    QPointer<CustomWarningBoxTipsTwo> two = CustomWarningBoxTipsTwo::showTips(
        QStringLiteral("提示"), QStringLiteral("五"), QStringLiteral("六"));

    const QList<QWidget *> boxes = {CustomInfoBox::instance(), CustomWarningBox::instance(),
                                    CustomWarningBoxTips::instance(), two.data()};
    for (QWidget *box : boxes) {
        QVERIFY(box);
        QCOMPARE(box->windowModality(), Qt::ApplicationModal);
        QVERIFY(box->isVisible());
    }
    QVERIFY(boxes.contains(QApplication::activeModalWidget()));
    two->close();
}

void TestBoxes::modalBoxBlocksInputToOtherWindows()
{
    QPushButton other(QStringLiteral("别处"));
    other.resize(200, 80);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QSignalSpy clicked(&other, &QPushButton::clicked);

    QTest::mouseClick(other.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 40));
    QCOMPARE(clicked.count(), 1); // input reaches the window while no box is up

    CustomWarningBox::showWarningBox(QStringLiteral("提示"), QStringLiteral("请稍候"));
    QTest::mouseClick(other.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 40));
    QCOMPARE(clicked.count(), 1);

    CustomWarningBox::instance()->close();
    QTest::mouseClick(other.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 40));
    QCOMPARE(clicked.count(), 2);
}

void TestBoxes::boxesOfferOnlyClose()
{
    CustomWarningBoxTips::showTips(QStringLiteral("提示"), QStringLiteral("主"),
                                   QStringLiteral("次"));
    CustomInfoBox::showInfoBox(QStringLiteral("提示"), QStringLiteral("一"));
    const QList<FramelessWidget *> boxes = {CustomInfoBox::instance(),
                                            CustomWarningBoxTips::instance()};
    for (FramelessWidget *box : boxes) {
        QCOMPARE(shownButtons(box), QStringList{"toolButton_close"});
        QVERIFY(!box->isResizable());
        QVERIFY(!box->isMaximisable());
        QVERIFY(!box->isFullScreenAllowed());
    }
    QVERIFY(CustomInfoBox::instance()->width() >= 300);
    QVERIFY(CustomInfoBox::instance()->height() >= 100);
    QVERIFY(CustomWarningBoxTips::instance()->height() >= 150);
}

void TestBoxes::longTextWidensTheBox()
{
    const QString shortText = QStringLiteral("成功");
    const QString longText = QStringLiteral("固件文件超过30M，请重新选择升级文件！");
    CustomWarningBox::showWarningBox(QStringLiteral("提示"), longText);
    CustomWarningBox *box = CustomWarningBox::instance();
    QLabel *label = labelShowing(box, longText);
    QVERIFY(label);
    QVERIFY2(box->width() > 300, qPrintable(QStringLiteral("%1 %2 %3")
                                                .arg(box->width())
                                                .arg(label->sizeHint().width())
                                                .arg(box->minimumSizeHint().width())));
    QVERIFY(label->width() >= label->sizeHint().width());
    QVERIFY(label->height() >= label->sizeHint().height());

    // Too long for the screen, a text wraps: the box stays within it less a margin.
    const QString longer = QStringLiteral("MAC地址90:7E:BA:74:B7:0D已在地址池中 ").repeated(6);
    CustomWarningBox::showWarningBox(QStringLiteral("提示"), longer);
    label = labelShowing(box, longer);
    QVERIFY(label->wordWrap() && label->height() >= label->heightForWidth(label->width()));
    QVERIFY(box->width() <= box->screen()->availableGeometry().width() - 80);
    QVERIFY(box->screen()->availableGeometry().contains(box->frameGeometry()));

    // A short text afterwards brings the box back to its usual size.
    CustomWarningBox::showWarningBox(QStringLiteral("提示"), shortText);
    QCOMPARE(box->width(), 300);
}

void TestBoxes::closingSharedBoxOnlyHidesIt()
{
    CustomInfoBox::showInfoBox(QStringLiteral("提示"), QStringLiteral("一"));
    QPointer<CustomInfoBox> box = CustomInfoBox::instance();
    QTest::mouseClick(box->findChild<QToolButton *>("toolButton_close"), Qt::LeftButton);
    QVERIFY(!box->isVisible());
    QTest::qWait(20); // deferred deletions would run here
    QVERIFY(!box.isNull());
    CustomInfoBox::showInfoBox(QStringLiteral("提示"), QStringLiteral("二"));
    QCOMPARE(CustomInfoBox::instance(), box.data());
    QVERIFY(box->isVisible());
}

void TestBoxes::tipsBoxIsShared()
{
    CustomWarningBoxTips::showTips(QStringLiteral("提示"),
                                   QStringLiteral("登陆密码为初始密码，需要修改！"),
                                   QStringLiteral("提示：使用默认密码会存在密码暴露风险！"));
    CustomWarningBoxTips *box = CustomWarningBoxTips::instance();
    QVERIFY(box);
    QLabel *tip = labelShowing(box, QStringLiteral("提示：使用默认密码会存在密码暴露风险！"));
    QVERIFY(tip);
    QCOMPARE(tip->styleSheet(), QStringLiteral("font-size: 15px; color: rgb(255, 0, 0);"));

    CustomWarningBoxTips::showTips(QStringLiteral("注意"), QStringLiteral("再次提醒"),
                                   QStringLiteral("小字"));
    QCOMPARE(CustomWarningBoxTips::instance(), box);
    QCOMPARE(box->title(), QStringLiteral("注意"));
    QCOMPARE(box->mainText(), QStringLiteral("再次提醒"));
    QCOMPARE(box->tipText(), QStringLiteral("小字"));
    QCOMPARE(visibleTopLevelsOf(CustomWarningBoxTips::staticMetaObject), 1);
}

void TestBoxes::tipsTwoIsNewPerUseAndDeletedOnClose()
{
    QPointer<CustomWarningBoxTipsTwo> first = CustomWarningBoxTipsTwo::showTips(
        QStringLiteral("提示"), QStringLiteral("Wifi密码为初始密码，需要修改！"),
        QStringLiteral("提示：使用默认wifi密码会存在网络接口暴露风险！"));
    QPointer<CustomWarningBoxTipsTwo> second = new CustomWarningBoxTipsTwo(
        QStringLiteral("提示"), QStringLiteral("第二个"), QStringLiteral("小字"));
    QVERIFY(first && second);
    QVERIFY(first != second);
    QVERIFY(first->isVisible() && second->isVisible());
    QVERIFY(!first->parentWidget());
    QCOMPARE(first->mainText(), QStringLiteral("Wifi密码为初始密码，需要修改！"));
    QVERIFY(first->height() >= 150);

    QTest::mouseClick(first->findChild<QToolButton *>("toolButton_close"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 2000);
    QVERIFY(!second.isNull());
    second->close();
    QTRY_VERIFY_WITH_TIMEOUT(second.isNull(), 2000);
}

void TestBoxes::keysCloseTheBoxes_data()
{
    // answer: the question box's answer (-1: a message box, which just closes).
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<int>("answer");
    QTest::newRow("info, Return") << "info" << QStringList{"Return"} << -1;
    QTest::newRow("warning, Esc") << "warning" << QStringList{"Escape"} << -1;
    QTest::newRow("Wi-Fi tips, Enter") << "tipsTwo" << QStringList{"Enter"} << -1;
    QTest::newRow("question, Return at first says no") << "question" << QStringList{"Return"} << 0;
    QTest::newRow("question, Esc says no") << "question" << QStringList{"Backtab", "Escape"} << 0;
    QTest::newRow("question, Return on yes") << "question" << QStringList{"Backtab", "Return"} << 1;
}

void TestBoxes::keysCloseTheBoxes()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, keys);
    QFETCH(int, answer);
    const QString title = QStringLiteral("提示");
    const QString text = QStringLiteral("文件传输进行中，确定中止并退出吗？");
    QPointer<FramelessWidget> box;
    if (kind == QLatin1String("info")) {
        CustomInfoBox::showInfoBox(title, text);
        box = CustomInfoBox::instance();
    } else if (kind == QLatin1String("warning")) {
        CustomWarningBox::showWarningBox(title, text);
        box = CustomWarningBox::instance();
    } else if (kind == QLatin1String("tipsTwo")) {
        box = CustomWarningBoxTipsTwo::showTips(title, text, text);
    } else {
        box = CustomQuestionBox::ask(title, text);
    }
    QList<bool> said;
    if (auto *question = qobject_cast<CustomQuestionBox *>(box.data()))
        connect(question, &CustomQuestionBox::answered, [&said](bool yes) { said << yes; });
    QVERIFY(QTest::qWaitForWindowActive(box));
    const QMetaEnum names = QMetaEnum::fromType<Qt::Key>();
    for (const QString &key : keys) {
        QWidget *target = box->focusWidget() ? box->focusWidget() : box.data();
        QTest::keyClick(target, Qt::Key(names.keyToValue(("Key_" + key).toLatin1())));
    }
    QTRY_VERIFY_WITH_TIMEOUT(box.isNull() || !box->isVisible(), 2000);
    QCOMPARE(said, answer < 0 ? QList<bool>() : QList<bool>{answer == 1});
}

void TestBoxes::progressbarStartsCompact()
{
    Progressbar dialog(QStringLiteral("生成MAC地址"));
    QCOMPARE(dialog.objectName(), QStringLiteral("progressbar"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("生成MAC地址"));
    QCOMPARE(dialog.size(), QSize(400, 40));
    auto *bar = dialog.findChild<QProgressBar *>("progressBar");
    auto *label = dialog.findChild<QLabel *>("label");
    QVERIFY(bar && label);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QVERIFY(label->isHidden());
    QVERIFY(label->wordWrap());
}

void TestBoxes::progressbarErrorThenCloseComesBackCompact()
{
    QWidget owner;
    Progressbar dialog(QStringLiteral("生成"), &owner);
    auto *label = dialog.findChild<QLabel *>("label");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    dialog.onSetError(QStringLiteral("插入失败"));
    QCOMPARE(dialog.size(), QSize(400, 150));
    QVERIFY(!label->isHidden());

    dialog.close();
    QVERIFY(label->isHidden());
    QCOMPARE(dialog.size(), QSize(400, 40));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(label->isHidden());
    QCOMPARE(dialog.size(), QSize(400, 40));

    // Escape rejects the dialog without a close event; it comes back compact too.
    dialog.onSetError(QStringLiteral("再次失败"));
    dialog.reject();
    QVERIFY(label->isHidden());
    QCOMPARE(dialog.size(), QSize(400, 40));
}

void TestBoxes::progressbarErrorIsRichTextInRed()
{
    Progressbar dialog(QStringLiteral("生成"));
    dialog.onSetError(QStringLiteral("数据库<b>已锁定</b>"));
    auto *label = dialog.findChild<QLabel *>("label");
    QCOMPARE(label->textFormat(), Qt::RichText);
    QCOMPARE(label->text(),
             QStringLiteral("<span style=\"color:#ff0000;\">数据库<b>已锁定</b></span> "));

    // What the label renders: the markup is gone, the text is red, the
    // inner part bold.
    QTextDocument document;
    document.setHtml(label->text());
    QCOMPARE(document.toPlainText().trimmed(), QStringLiteral("数据库已锁定"));
    const QTextBlock block = document.firstBlock();
    int fragments = 0;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.text().trimmed().isEmpty())
            continue;
        ++fragments;
        QCOMPARE(fragment.charFormat().foreground().color(), QColor(0xff, 0, 0));
        if (fragment.text() == QStringLiteral("已锁定"))
            QCOMPARE(fragment.charFormat().fontWeight(), int(QFont::Bold));
    }
    QCOMPARE(fragments, 2);
}

void TestBoxes::progressbarRangeAndValue()
{
    Progressbar dialog(QStringLiteral("生成"));
    auto *bar = dialog.findChild<QProgressBar *>("progressBar");
    dialog.onSetRange(0, 5000);
    dialog.onSetValue(1250);
    QCOMPARE(bar->maximum(), 5000);
    QCOMPARE(bar->value(), 1250);
    dialog.onSetRange(10, 20);
    QCOMPARE(bar->minimum(), 10);
}

// The usual test main, followed by one check that needs the application object
// gone: the shared boxes are deleted when it is destroyed.
int main(int argc, char **argv)
{
    QPointer<CustomInfoBox> info;
    QPointer<CustomWarningBox> warning;
    QPointer<CustomWarningBoxTips> tips;
    int status = 0;
    {
        QApplication app(argc, argv);
        TestBoxes test;
        status = QTest::qExec(&test, argc, argv);
        info = CustomInfoBox::instance();
        warning = CustomWarningBox::instance();
        tips = CustomWarningBoxTips::instance();
        if (!info || !warning || !tips) {
            qCritical("FAIL: the shared boxes were not created by the tests");
            return 1;
        }
    }
    if (info || warning || tips) {
        qCritical("FAIL: shared boxes outlived the application object");
        return 1;
    }
    return status;
}

#include "tst_boxes.moc"
