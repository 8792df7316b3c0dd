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
    // Whether the text holds a run of characters without a blank longer than
    // a line can take whole. Qt wraps such a run, by default at word
    // boundaries, in time that grows with the square of its length (a 10 MB
    // line would keep the window from showing for hours), so for such text
    // the window wraps anywhere instead, which takes linear time.
    static bool hasUnbreakableRun(const QString &text)
    {
        constexpr int kLongestRun = 10000; // characters; wraps in a few milliseconds
        int run = 0;
        for (const QChar c : text) {
            run = c.isSpace() ? 0 : run + 1;
            if (run > kLongestRun)
                return true;
        }
        return false;
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
