// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// DDialog as the extension relies on it: buttons, their indexes and looks,
// how a run ends, the size and place it is shown at, and its layout. Built
// against the stand-in and the real library alike, so both behave the same.
#include <DDialog>
#include <DLabel>
#include <DSuggestButton>

#include <QAbstractButton>
#include <QFrame>
#include <QPointer>
#include <QScreen>
#include <QtTest>

DWIDGET_USE_NAMESPACE

namespace {

// What the button's own clicked() handler does besides the dialog's close-on-click.
enum class OwnHandler { None, Accept, Reject };

// How the user ends a run: a click on a button, closing the window, or a key
// sent to the widget that has the focus (the first button's, for ReturnOnFirst).
enum class Action { ClickFirst, ClickSecond, CloseWindow, Escape, Return, ReturnOnFirst };

// Records the dialog's signals in the order they come.
QStringList *recordSignals(DDialog &dialog)
{
    auto *log = new QStringList;
    QObject::connect(&dialog, &QObject::destroyed, [log] { delete log; });
    QObject::connect(&dialog, &DDialog::buttonClicked,
                     [log](int index) { *log << QStringLiteral("clicked(%1)").arg(index); });
    QObject::connect(&dialog, &QDialog::accepted, [log] { *log << QStringLiteral("accepted"); });
    QObject::connect(&dialog, &QDialog::rejected, [log] { *log << QStringLiteral("rejected"); });
    QObject::connect(&dialog, &QDialog::finished,
                     [log](int result) { *log << QStringLiteral("finished(%1)").arg(result); });
    QObject::connect(&dialog, &DDialog::aboutToClose, [log] { *log << QStringLiteral("aboutToClose"); });
    QObject::connect(&dialog, &DDialog::closed, [log] { *log << QStringLiteral("closed"); });
    return log;
}

void act(DDialog &dialog, Action action)
{
    QWidget *focused = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
    switch (action) {
    case Action::ClickFirst:
        QTest::mouseClick(dialog.getButton(0), Qt::LeftButton);
        break;
    case Action::ClickSecond:
        QTest::mouseClick(dialog.getButton(1), Qt::LeftButton);
        break;
    case Action::CloseWindow:
        dialog.close();
        break;
    case Action::Escape:
        QTest::keyClick(focused, Qt::Key_Escape);
        break;
    case Action::Return:
        QTest::keyClick(focused, Qt::Key_Return);
        break;
    case Action::ReturnOnFirst:
        dialog.getButton(0)->setFocus();
        QTest::keyClick(dialog.getButton(0), Qt::Key_Return);
        break;
    }
}

// Whether the window stands in the middle of its screen. The dialog places
// its frame where its inside would be centred, so it may be off by the
// frame's few pixels.
bool isCentred(const QWidget &window)
{
    const QPoint offset = window.geometry().center() - window.screen()->geometry().center();
    return offset.manhattanLength() <= 8;
}

} // namespace

class DDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void buttonsAreIndexed();
    void buttonLooks_data();
    void buttonLooks();
    void clickResult_data();
    void clickResult();
    void clickWithoutCloseKeepsOpen();
    void staleCloseDoesNotEndNextRun();
    void sizeWhenShown_data();
    void sizeWhenShown();
    void contentsStackAboveButtons();
};

void DDialogTest::buttonsAreIndexed()
{
    DDialog dialog;
    QCOMPARE(dialog.buttonCount(), 0);
    QCOMPARE(dialog.addButton("Cancel"), 0);
    QCOMPARE(dialog.addButton("OK", true, DDialog::ButtonRecommend), 1);
    QCOMPARE(dialog.addButton("Apply"), 2);
    QCOMPARE(dialog.buttonCount(), 3);
    QCOMPARE(dialog.getButton(0)->text(), QStringLiteral("Cancel"));
    QCOMPARE(dialog.getButton(1)->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.getButton(2)->text(), QStringLiteral("Apply"));
    QVERIFY(dialog.onButtonClickedClose());

    // A divider line before every button; the first one's is hidden.
    const QList<QFrame *> dividers = dialog.findChildren<QFrame *>(QStringLiteral("VLine"));
    QCOMPARE(dividers.size(), 3);
    QCOMPARE(dividers.at(0)->isHidden(), true);
    QCOMPARE(dividers.at(1)->isHidden(), false);
    QCOMPARE(dividers.at(2)->isHidden(), false);
}

void DDialogTest::buttonLooks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("suggested");
    const int normal = DDialog::ButtonNormal;
    const int recommend = DDialog::ButtonRecommend;
    QTest::newRow("two Han characters") << "关闭" << normal << "关\u00a0闭" << false;
    QTest::newRow("two Han characters, recommended") << "关闭" << recommend << "关\u00a0闭" << true;
    QTest::newRow("two kana") << "はい" << normal << "は\u00a0い" << false;
    QTest::newRow("two Hangul syllables") << "확인" << normal << "확\u00a0인" << false;
    QTest::newRow("one Han character") << "关" << normal << "关" << false;
    QTest::newRow("three Han characters") << "关闭它" << normal << "关闭它" << false;
    QTest::newRow("Han and Latin") << "关x" << normal << "关x" << false;
    QTest::newRow("two Latin letters") << "OK" << recommend << "OK" << true;
}

void DDialogTest::buttonLooks()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QFETCH(QString, shown);
    QFETCH(bool, suggested);
    DDialog dialog;
    const int index = dialog.addButton(text, false, DDialog::ButtonType(type));
    QAbstractButton *button = dialog.getButton(index);
    QCOMPARE(button->text(), shown);
    QCOMPARE(qobject_cast<DSuggestButton *>(button) != nullptr, suggested);

    // The click reports the text the button shows.
    QSignalSpy clicks(&dialog, &DDialog::buttonClicked);
    button->click();
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(1).toString(), shown);
}

void DDialogTest::clickResult_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<OwnHandler>("handler"); // on the first button
    QTest::addColumn<int>("defaultButton");  // -1: none
    QTest::addColumn<int>("execResult");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("signalsSeen");

    // A click ends the run with done(index) before the button's other
    // handlers run; exec() returns the index whatever they do afterwards.
    QTest::newRow("click first") << Action::ClickFirst << OwnHandler::None << -1 << 0 << 0
                                 << "clicked(0) rejected finished(0)";
    QTest::newRow("click second") << Action::ClickSecond << OwnHandler::None << -1 << 1 << 1
                                  << "clicked(1) accepted finished(1)";
    QTest::newRow("click first, accepting handler")
        << Action::ClickFirst << OwnHandler::Accept << -1 << 0 << 1
        << "clicked(0) rejected finished(0) accepted finished(1)";
    QTest::newRow("click first, rejecting handler")
        << Action::ClickFirst << OwnHandler::Reject << -1 << 0 << 0
        << "clicked(0) rejected finished(0) rejected finished(0)";
    // Closing the window is neither accepting nor rejecting.
    QTest::newRow("close the window")
        << Action::CloseWindow << OwnHandler::None << -1 << -1 << -1 << "aboutToClose finished(-1) closed";
    QTest::newRow("Escape") << Action::Escape << OwnHandler::None << -1 << 0 << 0 << "rejected finished(0)";
    QTest::newRow("Escape with a default button")
        << Action::Escape << OwnHandler::None << 1 << 0 << 0 << "rejected finished(0)";
    // Return clicks only the focused button or the one added as the default;
    // otherwise it does nothing and the run goes on (ended here by done(5)).
    QTest::newRow("Return with a default button")
        << Action::Return << OwnHandler::None << 1 << 1 << 1 << "clicked(1) accepted finished(1)";
    QTest::newRow("Return without a default button")
        << Action::Return << OwnHandler::None << -1 << 5 << 5 << "finished(5)";
    QTest::newRow("Return on the focused first button")
        << Action::ReturnOnFirst << OwnHandler::None << 1 << 0 << 0 << "clicked(0) rejected finished(0)";
}

void DDialogTest::clickResult()
{
    QFETCH(Action, action);
    QFETCH(OwnHandler, handler);
    QFETCH(int, defaultButton);
    QFETCH(int, execResult);
    QFETCH(int, result);
    QFETCH(QString, signalsSeen);
    DDialog dialog;
    dialog.addButton("Cancel", defaultButton == 0);
    dialog.addButton("OK", defaultButton == 1);
    QAbstractButton *first = dialog.getButton(0);
    if (handler == OwnHandler::Accept) {
        connect(first, &QAbstractButton::clicked, &dialog, &QDialog::accept);
    } else if (handler == OwnHandler::Reject) {
        connect(first, &QAbstractButton::clicked, &dialog, &QDialog::reject);
    }
    const QStringList *seen = recordSignals(dialog);

    QTimer::singleShot(0, &dialog, [&dialog, action] {
        if (QTest::qWaitForWindowExposed(&dialog)) {
            act(dialog, action);
        }
        QTimer::singleShot(200, &dialog, [&dialog] {
            if (dialog.isVisible()) {
                dialog.done(5);
            }
        });
    });
    QTimer::singleShot(5000, &dialog, [&dialog] { dialog.done(-2); }); // ends a stuck run
    QCOMPARE(dialog.exec(), execResult);
    QCOMPARE(dialog.result(), result);
    QCOMPARE(seen->join(QLatin1Char(' ')), signalsSeen);
    QVERIFY(!dialog.isVisible());
}

void DDialogTest::clickWithoutCloseKeepsOpen()
{
    DDialog dialog;
    dialog.setOnButtonClickedClose(false);
    dialog.addButton("Apply");
    QSignalSpy clicks(&dialog, &DDialog::buttonClicked);
    // The dialog is looked at once the click and what it posted are handled,
    // not after a pause that a slow start of the window could outlast.
    bool openAfterClick = false;
    QTimer::singleShot(0, &dialog, [&dialog, &openAfterClick] {
        if (QTest::qWaitForWindowExposed(&dialog)) {
            QTest::mouseClick(dialog.getButton(0), Qt::LeftButton);
            QCoreApplication::processEvents();
            openAfterClick = dialog.isVisible();
        }
        dialog.reject();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(openAfterClick);
    QCOMPARE(clicks.count(), 1);
}

void DDialogTest::staleCloseDoesNotEndNextRun()
{
    // A click outside a run must neither end the next run nor set its result.
    DDialog dialog;
    dialog.addButton("Close");
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

void DDialogTest::sizeWhenShown_data()
{
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<bool>("resizeToHint"); // else resized to 900 x 600 before showing
    QTest::addColumn<QSize>("shownSize");   // empty: the size hint, at least 380 x 120
    QTest::addColumn<bool>("centred");

    // A size set before showing gives way to the size hint, bounded below by
    // the minimum size; the dialog was centred at the size it had before.
    QTest::newRow("size set before showing") << QSize() << false << QSize() << false;
    QTest::newRow("minimum size bounds the hint") << QSize(800, 500) << false << QSize(800, 500) << false;
    QTest::newRow("size equal to the hint") << QSize() << true << QSize() << true;
}

void DDialogTest::sizeWhenShown()
{
    QFETCH(QSize, minimum);
    QFETCH(bool, resizeToHint);
    QFETCH(QSize, shownSize);
    QFETCH(bool, centred);
    DDialog dialog;
    auto *content = new QWidget;
    content->setFixedSize(100, 200);
    dialog.addContent(content);
    dialog.addButton("Close");
    if (minimum.isValid()) {
        dialog.setMinimumSize(minimum);
    }
    const QSize hint = dialog.sizeHint().expandedTo(QSize(380, 120));
    dialog.resize(resizeToHint ? hint : QSize(900, 600));
    if (shownSize.isEmpty()) {
        shownSize = hint;
    }

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), shownSize);
    QCOMPARE(isCentred(dialog), centred);

    // Resized while shown, it keeps the size.
    dialog.resize(900, 600);
    QTRY_COMPARE(dialog.size(), QSize(900, 600));
}

void DDialogTest::contentsStackAboveButtons()
{
    auto *dialog = new DDialog;
    QPointer<DLabel> first = new DLabel("第一");
    QPointer<DLabel> second = new DLabel("第二");
    dialog->addContent(first);
    dialog->addContent(second, Qt::AlignRight);
    dialog->addButton("Cancel");
    dialog->addButton("OK");
    QCOMPARE(first->window(), dialog);
    dialog->setWindowTitle(QStringLiteral("标题"));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const auto rectIn = [dialog](const QWidget *widget) {
        return QRect(widget->mapTo(dialog, QPoint()), widget->size());
    };
    QVERIFY(rectIn(first).bottom() < rectIn(second).top());
    QVERIFY(rectIn(second).bottom() < rectIn(dialog->getButton(0)).top());

    // A title bar strip above the contents; contents 10 px in from the sides,
    // buttons spread over the row between 10 px margins, 10 px above the bottom.
    QVERIFY(rectIn(first).top() >= 40);
    QCOMPARE(rectIn(first).left(), 10);
    QCOMPARE(rectIn(first).width(), dialog->width() - 20);
    QCOMPARE(rectIn(dialog->getButton(0)).left(), 10);
    QCOMPARE(rectIn(dialog->getButton(1)).right(), dialog->width() - 11);
    QVERIFY(rectIn(dialog->getButton(1)).bottom() <= dialog->height() - 11);
    // The dialog's own title and message labels stay hidden while empty.
    for (const QLabel *label : dialog->findChildren<QLabel *>()) {
        QVERIFY(label == first || label == second || !label->isVisible() || label->text().isEmpty());
    }

    delete dialog;
    QVERIFY(!first);
    QVERIFY(!second);
}

QTEST_MAIN(DDialogTest)
#include "tst_ddialog.moc"
