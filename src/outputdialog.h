// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QBoxLayout>
#include <QDialog>
#include <QFont>
#include <QFontDatabase>
#include <QPushButton>
#include <QString>
#include <QTextEdit>

#include <iostream>

// The modal window that shows a scan result as plain text: read-only, in a
// monospace font, with Copy (whole text to the clipboard) and Close below.
// While it is built it logs its font choice on standard output.
class OutputDialog : public QDialog
{
    Q_OBJECT

public:
    OutputDialog(const QString &title, const QString &content, QWidget *parent = nullptr)
        : QDialog(parent, Qt::WindowFlags())
    {
        setWindowTitle(title);
        setMinimumSize(800, 500);
        resize(900, 600);

        auto *mainLayout = new QVBoxLayout(this);

        textEdit = new QTextEdit(this);
        textEdit->setReadOnly(true);
        if (hasUnbreakableRun(content))
            textEdit->setWordWrapMode(QTextOption::WrapAnywhere);
        textEdit->setPlainText(content);

        QFont font = chooseMonospaceFont();
        font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
        textEdit->setFont(font);

        const QFont used = textEdit->font();
        std::cout << "实际使用字体: " << used.family().toStdString() << ", 大小: " << used.pointSize()
                  << ", 风格提示: " << static_cast<int>(used.styleHint()) << std::endl;

        auto *buttonLayout = new QHBoxLayout();
        buttonLayout->addStretch(0);

        auto *copyButton = new QPushButton(tr("复制"), this);
        connect(copyButton, &QAbstractButton::clicked, this, &OutputDialog::copyContent, Qt::AutoConnection);
        buttonLayout->addWidget(copyButton, 0, Qt::Alignment());

        auto *closeButton = new QPushButton(tr("关闭"), this);
        connect(closeButton, &QAbstractButton::clicked, this, &QDialog::accept, Qt::AutoConnection);
        buttonLayout->addWidget(closeButton, 0, Qt::Alignment());

        mainLayout->addWidget(textEdit, 0, Qt::Alignment());
        mainLayout->addLayout(buttonLayout, 0);
    }

private slots:
    // Copies the whole text, whatever the user had selected, and leaves it selected.
    void copyContent()
    {
        textEdit->selectAll();
        textEdit->copy();
    }

private:
    // Whether the text holds a run of characters without a breakable blank
    // longer than a line can take whole. Qt wraps such a run, by default at
    // word boundaries, in time that grows with the square of its length (a
    // 10 MB line would keep the window from showing for hours), so for such
    // text the window wraps anywhere instead, which takes linear time. The
    // run counts characters, a surrogate pair as one.
    static bool hasUnbreakableRun(const QString &text)
    {
        constexpr int kLongestRun = 10000; // characters; wraps in a few milliseconds
        int run = 0;
        bool afterHighSurrogate = false;
        for (const QChar c : text) {
            const bool secondHalf = afterHighSurrogate && c.isLowSurrogate();
            afterHighSurrogate = c.isHighSurrogate();
            if (secondHalf)
                continue;
            run = isBreakableBlank(c.unicode()) ? 0 : run + 1;
            if (run > kLongestRun)
                return true;
        }
        return false;
    }

    // Blanks after which Qt may end a line: white space and the breakable
    // spaces. Not the no-break spaces (U+00A0, U+2007, U+202F), which
    // QChar::isSpace counts as blanks although no line may end there.
    static bool isBreakableBlank(char16_t c)
    {
        return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0x1680 ||
               (c >= 0x2000 && c <= 0x2006) || (c >= 0x2008 && c <= 0x200B) || c == 0x2028 || c == 0x2029 ||
               c == 0x205F || c == 0x3000;
    }

    // Noto Sans Mono CJK SC when installed (it has the CJK glyphs of the log
    // and of file names), else the family named "Monospace", else Courier
    // without asking whether it exists. Writes log lines 1 to 3.
    static QFont chooseMonospaceFont()
    {
        static const QString preferred = QStringLiteral("Noto Sans Mono CJK SC");
        static const QString generic = QStringLiteral("Monospace");
        static const QString normalStyle = QStringLiteral("Normal");

        std::cout << "=== 设置显示字体 ===" << std::endl;
        std::cout << "尝试加载字体: Noto Sans Mono CJK SC" << std::endl;

        if (QFontDatabase::families(QFontDatabase::Any).contains(preferred, Qt::CaseSensitive)) {
            const QFont font = QFontDatabase::font(preferred, normalStyle, 12);
            std::cout << "字体加载成功" << std::endl;
            return font;
        }
        if (QFontDatabase::families(QFontDatabase::Any).contains(generic, Qt::CaseSensitive)) {
            const QFont font = QFontDatabase::font(generic, normalStyle, 12);
            std::cout << "警告: 字体 Noto Sans Mono CJK SC 不可用，使用 Monospace" << std::endl;
            return font;
        }
        const QFont font(QStringLiteral("Courier"), 12, -1, false);
        std::cout << "警告: 等宽字体不可用，使用 Courier" << std::endl;
        return font;
    }

    QTextEdit *textEdit; // owned by the dialog as its child
};
