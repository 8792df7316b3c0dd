// The DTK dialog stand-in: buttons, their indexes, contents and how a click
// closes the dialog.
#include <DDialog>
#include <DLabel>

#include <QAbstractButton>
#include <QPointer>
#include <QtTest>

DWIDGET_USE_NAMESPACE

namespace {

// What the button's own clicked() handler does besides the dialog's close-on-click.
enum class OwnHandler { None, Accept, Reject };

// Runs dialog.exec(), clicking the button at index once the dialog shows;
// a run that does not end by itself ends after 5 s with -1.
int execClicking(DDialog &dialog, int index)
{
    QTimer::singleShot(0, &dialog, [&dialog, index] {
        if (QTest::qWaitForWindowExposed(&dialog)) {
            QTest::mouseClick(dialog.getButton(index), Qt::LeftButton);
        }
    });
    QTimer::singleShot(5000, &dialog, [&dialog] { dialog.done(-1); });
    return dialog.exec();
}

} // namespace

class DDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void buttonsAreIndexed();
    void clickResult_data();
    void clickResult();
    void clickWithoutCloseKeepsOpen();
    void staleCloseDoesNotEndNextRun();
    void contentsStackAboveButtons();
};

void DDialogTest::buttonsAreIndexed()
{
    DDialog dialog;
    QCOMPARE(dialog.buttonCount(), 0);
    QCOMPARE(dialog.addButton("取消"), 0);
    QCOMPARE(dialog.addButton("确定", true, DDialog::ButtonRecommend), 1);
    QCOMPARE(dialog.buttonCount(), 2);
    QCOMPARE(dialog.getButton(0)->text(), QStringLiteral("取消"));
    QCOMPARE(dialog.getButton(1)->text(), QStringLiteral("确定"));
    QVERIFY(!dialog.getButton(-1));
    QVERIFY(!dialog.getButton(2));
    QVERIFY(dialog.onButtonClickedClose());
}

void DDialogTest::clickResult_data()
{
    QTest::addColumn<int>("clicked");
    QTest::addColumn<OwnHandler>("handler");
    QTest::addColumn<int>("result");
    // Without a handler of its own, exec() returns the clicked button's index;
    // a handler that closes the dialog itself decides the result.
    QTest::newRow("first button") << 0 << OwnHandler::None << 0;
    QTest::newRow("second button") << 1 << OwnHandler::None << 1;
    QTest::newRow("first button, accepting handler") << 0 << OwnHandler::Accept << int(QDialog::Accepted);
    QTest::newRow("second button, rejecting handler") << 1 << OwnHandler::Reject << int(QDialog::Rejected);
}

void DDialogTest::clickResult()
{
    QFETCH(int, clicked);
    QFETCH(OwnHandler, handler);
    QFETCH(int, result);
    DDialog dialog;
    dialog.addButton("关闭");
    dialog.addButton("确定");
    QAbstractButton *button = dialog.getButton(clicked);
    if (handler == OwnHandler::Accept) {
        connect(button, &QAbstractButton::clicked, &dialog, &QDialog::accept);
    } else if (handler == OwnHandler::Reject) {
        connect(button, &QAbstractButton::clicked, &dialog, &QDialog::reject);
    }
    QSignalSpy clicks(&dialog, &DDialog::buttonClicked);
    QSignalSpy finished(&dialog, &QDialog::finished);

    QCOMPARE(execClicking(dialog, clicked), result);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), clicked);
    QCOMPARE(clicks.at(0).at(1).toString(), button->text());
    QCOMPARE(finished.count(), 1); // closed once, not twice
}

void DDialogTest::clickWithoutCloseKeepsOpen()
{
    DDialog dialog;
    dialog.setOnButtonClickedClose(false);
    dialog.addButton("应用");
    QSignalSpy clicks(&dialog, &DDialog::buttonClicked);
    QTimer::singleShot(0, &dialog, [&dialog] {
        if (QTest::qWaitForWindowExposed(&dialog)) {
            QTest::mouseClick(dialog.getButton(0), Qt::LeftButton);
        }
    });
    QTimer::singleShot(200, &dialog, [&dialog] {
        QVERIFY(dialog.isVisible());
        dialog.reject();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(clicks.count(), 1);
}

void DDialogTest::staleCloseDoesNotEndNextRun()
{
    // A click's close is still pending when a handler hides the dialog; the
    // next run of the dialog must not be ended by it.
    DDialog dialog;
    dialog.addButton("关闭");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.getButton(0)->click();
    dialog.accept();
    QTimer::singleShot(200, &dialog, [&dialog] {
        QVERIFY(dialog.isVisible());
        dialog.done(7);
    });
    QCOMPARE(dialog.exec(), 7);
}

void DDialogTest::contentsStackAboveButtons()
{
    auto *dialog = new DDialog;
    QPointer<DLabel> first = new DLabel("第一");
    QPointer<DLabel> second = new DLabel("第二");
    dialog->addContent(first);
    dialog->addContent(second, Qt::AlignRight);
    dialog->addButton("关闭");
    QCOMPARE(first->parentWidget(), dialog);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QVERIFY(first->geometry().bottom() < second->geometry().top());
    QVERIFY(second->geometry().bottom() < dialog->getButton(0)->geometry().top());
    QVERIFY(first->x() >= 10 && first->y() >= 10); // inside the margins

    delete dialog;
    QVERIFY(!first);
    QVERIFY(!second);
}

QTEST_MAIN(DDialogTest)
#include "tst_ddialog.moc"
