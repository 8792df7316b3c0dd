#include "plugintestsupport.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTest>
#include <QTextEdit>
#include <QWidget>

#include <iostream>

// Splits one stream's bytes into lines and appends them, prefixed, to the
// shared list, so that lines of both streams keep their relative order.
class LogCapture::LineBuffer : public std::streambuf
{
public:
    LineBuffer(QStringList &target, const char *prefix) : target(target), prefix(prefix) {}

    void flushPartial()
    {
        if (!pending.isEmpty())
            target.append(prefix + QString::fromUtf8(pending));
        pending.clear();
    }

protected:
    int_type overflow(int_type ch) override
    {
        if (ch == traits_type::eof())
            return traits_type::not_eof(ch);
        if (ch == '\n') {
            target.append(prefix + QString::fromUtf8(pending));
            pending.clear();
        } else {
            pending.append(static_cast<char>(ch));
        }
        return ch;
    }

private:
    QStringList &target;
    QString prefix;
    QByteArray pending; // bytes of the current, unfinished line
};

LogCapture::LogCapture()
    : outBuffer(std::make_unique<LineBuffer>(collected, "out: ")),
      errBuffer(std::make_unique<LineBuffer>(collected, "err: ")),
      originalOut(std::cout.rdbuf(outBuffer.get())), originalErr(std::cerr.rdbuf(errBuffer.get()))
{}

LogCapture::~LogCapture()
{
    std::cout.rdbuf(originalOut);
    std::cerr.rdbuf(originalErr);
}

QStringList LogCapture::lines()
{
    outBuffer->flushPartial();
    errBuffer->flushPartial();
    return collected;
}

FakeTool::FakeTool(const QByteArray &standardOutput, const QByteArray &standardError, int exitCode)
{
    auto writeFile = [this](const QString &name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    writeFile(QStringLiteral("stdout"), standardOutput);
    writeFile(QStringLiteral("stderr"), standardError);
    const QString script =
        QStringLiteral("#!/bin/sh\n"
                       "cd '%1' || exit 99\n"
                       "{ echo '--run--'; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } >> argv\n"
                       "cat stdout\n"
                       "cat stderr >&2\n"
                       "exit %2\n")
            .arg(dir.path())
            .arg(exitCode);
    writeFile(QStringLiteral("quarn"), script.toUtf8());
    QFile::setPermissions(program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString FakeTool::program() const
{
    return dir.filePath(QStringLiteral("quarn"));
}

QList<QStringList> FakeTool::runs() const
{
    QFile file(dir.filePath(QStringLiteral("argv")));
    QList<QStringList> result;
    if (!file.open(QIODevice::ReadOnly))
        return result;
    QByteArray recorded = file.readAll();
    recorded.chop(1); // the last line end
    for (const QByteArray &line : recorded.split('\n')) {
        if (line == "--run--")
            result.append(QStringList());
        else if (!result.isEmpty())
            result.last().append(QString::fromUtf8(line));
    }
    return result;
}

ModalWindowCloser::ModalWindowCloser()
{
    connect(&timer, &QTimer::timeout, this, &ModalWindowCloser::poll);
    timer.start(20);
}

void ModalWindowCloser::poll()
{
    QWidget *window = QApplication::activeModalWidget();
    if (!window)
        return;
    ShownWindow seen{QString::fromLatin1(window->metaObject()->className()), window->windowTitle(),
                     QString()};
    if (auto *textEdit = window->findChild<QTextEdit *>())
        seen.text = textEdit->toPlainText();
    shown.append(seen);
    if (auto *dialog = qobject_cast<QDialog *>(window))
        dialog->reject();
    else
        window->close();
}
