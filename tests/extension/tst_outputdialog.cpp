// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The text result window: its shape, copying, closing, and the font it picks.
#include "logcapture.h"
#include "outputdialog.h"
#include "testpaths.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

namespace {

const QString kTitle = QStringLiteral("磁盘使用统计");
const QString kCopy = QStringLiteral("复制");
const QString kClose = QStringLiteral("关闭");

QPushButton *button(const OutputDialog &dialog, const QString &text)
{
    for (QPushButton *candidate : dialog.findChildren<QPushButton *>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

QTextEdit *textArea(const OutputDialog &dialog)
{
    return dialog.findChild<QTextEdit *>();
}

// A fontconfig file that sees only the font folders `fontDirs`, with its own
// cache (so that scan-time edits take effect), hiding the families in
// `rejected` and renaming the family `renameFrom` to `renameTo` at scan time.
QByteArray fontConfig(const QStringList &fontDirs, const QString &cacheDir, const QStringList &rejected,
                      const QString &renameFrom, const QString &renameTo)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\"?>\n"
                                 "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                                 "<fontconfig>\n");
    for (const QString &dir : fontDirs)
        xml += QStringLiteral("  <dir>%1</dir>\n").arg(dir);
    xml += QStringLiteral("  <cachedir>%1</cachedir>\n").arg(cacheDir);
    for (const QString &family : rejected)
        xml += QStringLiteral("  <selectfont><rejectfont><pattern><patelt name=\"family\"><string>%1</string>"
                              "</patelt></pattern></rejectfont></selectfont>\n")
                   .arg(family);
    if (!renameFrom.isEmpty())
        xml +=
            QStringLiteral("  <match target=\"scan\"><test name=\"family\"><string>%1</string></test>"
                           "<edit name=\"family\" mode=\"assign\" binding=\"same\"><string>%2</string></edit>"
                           "</match>\n")
                .arg(renameFrom, renameTo);
    xml += QStringLiteral("</fontconfig>\n");
    return xml.toUtf8();
}

} // namespace

class OutputDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void shape_data();
    void shape();
    void keyboardLeavesTextUnchanged();
    void copyTakesWholeText_data();
    void copyTakesWholeText();
    void exitCode_data();
    void exitCode();
    void fontLogMatchesTextArea();
    void fontFallback_data();
    void fontFallback();
};

void OutputDialogTest::shape_data()
{
    QTest::addColumn<QString>("content");
    QTest::newRow("plain") << "12K\t/srv/data\n4K\t/srv/data/a";
    QTest::newRow("markup shown literally") << "<b>bold</b> &amp; <a href=\"x\">link</a>";
    QTest::newRow("Chinese") << "命令未返回任何输出";
    QTest::newRow("empty") << QString();
}

void OutputDialogTest::shape()
{
    QFETCH(QString, content);
    LogCapture quiet;
    OutputDialog dialog(kTitle, content);

    QCOMPARE(dialog.windowTitle(), kTitle);
    QCOMPARE(dialog.minimumSize(), QSize(800, 500));
    QCOMPARE(dialog.size(), QSize(900, 600));
    dialog.resize(300, 200);
    QCOMPARE(dialog.size(), QSize(800, 500));

    QTextEdit *text = textArea(dialog);
    QVERIFY(text);
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->toPlainText(), content);

    // Buttons in creation (and tab) order, below the text and right-aligned.
    const QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 2);
    QCOMPARE(buttons.at(0)->text(), kCopy);
    QCOMPARE(buttons.at(1)->text(), kClose);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(buttons.at(0)->geometry().right() < buttons.at(1)->geometry().left());
    QVERIFY(buttons.at(0)->geometry().top() > text->geometry().bottom());
    QVERIFY(buttons.at(1)->geometry().right() > dialog.width() * 3 / 4);
}

void OutputDialogTest::keyboardLeavesTextUnchanged()
{
    LogCapture quiet;
    OutputDialog dialog(kTitle, QStringLiteral("fixed"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTextEdit *text = textArea(dialog);
    text->setFocus();
    QTest::keyClicks(text, QStringLiteral("typed"));
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClick(text, Qt::Key_Delete);
    QCOMPARE(text->toPlainText(), QStringLiteral("fixed"));
}

void OutputDialogTest::copyTakesWholeText_data()
{
    QTest::addColumn<int>("selectFrom");
    QTest::addColumn<int>("selectTo");
    QTest::newRow("nothing selected") << 0 << 0;
    QTest::newRow("part selected") << 3 << 8;
    QTest::newRow("all selected") << 0 << -1;
}

void OutputDialogTest::copyTakesWholeText()
{
    QFETCH(int, selectFrom);
    QFETCH(int, selectTo);
    const QString content = QStringLiteral("第一行 12K\nsecond line <i>4K</i>\n");
    LogCapture quiet;
    OutputDialog dialog(kTitle, content);
    QTextEdit *text = textArea(dialog);

    QTextCursor cursor = text->textCursor();
    cursor.setPosition(selectFrom);
    if (selectTo < 0)
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    else
        cursor.setPosition(selectTo, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);
    QGuiApplication::clipboard()->setText(QStringLiteral("stale"));

    button(dialog, kCopy)->click();

    QCOMPARE(QGuiApplication::clipboard()->text(), content);
    const QTextCursor after = text->textCursor();
    QCOMPARE(after.selectionStart(), 0);
    QCOMPARE(after.selectionEnd(), content.size());
}

void OutputDialogTest::exitCode_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expected");
    QTest::newRow("Close button") << "close" << int(QDialog::Accepted);
    QTest::newRow("Escape") << "escape" << int(QDialog::Rejected);
    QTest::newRow("Copy, then Escape") << "copy+escape" << int(QDialog::Rejected);
}

void OutputDialogTest::exitCode()
{
    QFETCH(QString, how);
    QFETCH(int, expected);
    LogCapture quiet;
    OutputDialog dialog(kTitle, QStringLiteral("text"));

    bool stillOpenAfterCopy = true;
    QTimer::singleShot(0, &dialog, [&] {
        if (how.startsWith(QLatin1String("copy"))) {
            button(dialog, kCopy)->click();
            stillOpenAfterCopy = dialog.isVisible();
        }
        if (how.endsWith(QLatin1String("close")))
            QTest::mouseClick(button(dialog, kClose), Qt::LeftButton);
        else
            QTest::keyClick(textArea(dialog), Qt::Key_Escape);
    });
    QTimer::singleShot(5000, &dialog, [&] { dialog.done(-1); }); // never hang the suite
    QCOMPARE(dialog.exec(), expected);
    QVERIFY(stillOpenAfterCopy);
}

void OutputDialogTest::fontLogMatchesTextArea()
{
    LogCapture capture;
    OutputDialog dialog(kTitle, QStringLiteral("text"));
    const QStringList lines = capture.lines();
    const QFont font = textArea(dialog)->font();

    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("out: === 设置显示字体 ==="));
    QCOMPARE(lines.at(1), QStringLiteral("out: 尝试加载字体: Noto Sans Mono CJK SC"));
    const QStringList choices{QStringLiteral("out: 字体加载成功"),
                              QStringLiteral("out: 警告: 字体 Noto Sans Mono CJK SC 不可用，使用 Monospace"),
                              QStringLiteral("out: 警告: 等宽字体不可用，使用 Courier")};
    QVERIFY2(choices.contains(lines.at(2)), qPrintable(lines.at(2)));
    QCOMPARE(font.pointSize(), 12);
    QCOMPARE(font.styleHint(), QFont::TypeWriter);
    QCOMPARE(lines.at(3), QStringLiteral("out: 实际使用字体: %1, 大小: 12, 风格提示: 2").arg(font.family()));
}

// Qt's fontconfig-based font database always lists the generic "Monospace"
// family, so under fontconfig the chain stops at Monospace at the latest; the
// Courier step shows only with a platform that has no font database
// ("minimal"). Each case runs in a child process, because the font database
// is fixed once a process has loaded it.
void OutputDialogTest::fontFallback_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QStringList>("fontDirs"); // empty: the system's own fontconfig setup
    QTest::addColumn<QStringList>("rejected");
    QTest::addColumn<QString>("renameFrom");
    QTest::addColumn<QString>("renameTo");
    QTest::addColumn<QString>("expectedLine3");
    QTest::addColumn<QString>("expectedFamily");

    const QString noto = QStringLiteral("Noto Sans Mono CJK SC");
    const QString monospaceWarning =
        QStringLiteral("警告: 字体 Noto Sans Mono CJK SC 不可用，使用 Monospace");
    const QString offscreen = QStringLiteral("offscreen");

    QTest::newRow("CJK monospace installed") << offscreen << QStringList() << QStringList() << QString()
                                             << QString() << QStringLiteral("字体加载成功") << noto;
    QTest::newRow("CJK monospace hidden")
        << offscreen << QStringList{"/usr/share/fonts", "/usr/local/share/fonts"} << QStringList{noto}
        << QString() << QString() << monospaceWarning << QStringLiteral("Monospace");
    QTest::newRow("CJK monospace only in other letter case")
        << offscreen << QStringList{"/usr/share/fonts/truetype/dejavu"} << QStringList()
        << QStringLiteral("DejaVu Sans Mono") << QStringLiteral("noto sans mono cjk sc") << monospaceWarning
        << QStringLiteral("Monospace");
    QTest::newRow("no font database")
        << QStringLiteral("minimal") << QStringList() << QStringList() << QString() << QString()
        << QStringLiteral("警告: 等宽字体不可用，使用 Courier") << QStringLiteral("Courier");
}

void OutputDialogTest::fontFallback()
{
    QFETCH(QString, platform);
    QFETCH(QStringList, fontDirs);
    QFETCH(QStringList, rejected);
    QFETCH(QString, renameFrom);
    QFETCH(QString, renameTo);
    QFETCH(QString, expectedLine3);
    QFETCH(QString, expectedFamily);

    if (!QFontDatabase::families().contains(QStringLiteral("Noto Sans Mono CJK SC")))
        QSKIP("needs Noto Sans Mono CJK SC installed (fonts-noto-cjk)");
    for (const QString &dir : fontDirs)
        if (dir.contains(QLatin1String("dejavu")) && !QFileInfo::exists(dir))
            QSKIP("needs the DejaVu fonts (fonts-dejavu-core)");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("xdg-cache")));
    if (!fontDirs.isEmpty()) {
        QFile config(dir.filePath(QStringLiteral("fonts.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(
            fontConfig(fontDirs, dir.filePath(QStringLiteral("cache")), rejected, renameFrom, renameTo));
        config.close();
        env.insert(QStringLiteral("FONTCONFIG_FILE"), config.fileName());
        env.remove(QStringLiteral("FONTCONFIG_PATH"));
    }

    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(QUARN_FONT_PROBE), {});
    QVERIFY(probe.waitForFinished(60000));
    QCOMPARE(probe.exitCode(), 0);

    const QStringList expected{QStringLiteral("=== 设置显示字体 ==="),
                               QStringLiteral("尝试加载字体: Noto Sans Mono CJK SC"), expectedLine3,
                               QStringLiteral("实际使用字体: %1, 大小: 12, 风格提示: 2").arg(expectedFamily),
                               QString()};
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n')), expected);
}

QTEST_MAIN(OutputDialogTest)
#include "tst_outputdialog.moc"
