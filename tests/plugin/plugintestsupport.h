#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <iosfwd>
#include <memory>
#include <streambuf>

// Collects what the code under test writes to std::cout and std::cerr, as
// whole lines in the order they were written across both streams, each line
// prefixed with "out: " or "err: ". Restores both streams when destroyed.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // The lines written so far; an unterminated last line is included.
    QStringList lines();

private:
    class LineBuffer;
    QStringList collected;                 // complete lines, both streams
    std::unique_ptr<LineBuffer> outBuffer; // installed into std::cout
    std::unique_ptr<LineBuffer> errBuffer; // installed into std::cerr
    std::streambuf *originalOut;           // restored on destruction; not owned
    std::streambuf *originalErr;           // restored on destruction; not owned
};

// A stand-in for the disk-usage tool: a shell script in its own temporary
// directory that records its arguments (one per line) and then prints fixed
// bytes on standard output and standard error and exits with a fixed code.
// Arguments must not contain line breaks.
class FakeTool
{
public:
    FakeTool(const QByteArray &standardOutput, const QByteArray &standardError = {}, int exitCode = 0);

    QString program() const; // absolute path of the script
    // The arguments of every run so far, one list per run, in run order.
    QList<QStringList> runs() const;

private:
    QTemporaryDir dir;
};

// What a modal window looked like when it came up.
struct ShownWindow
{
    QString className; // meta-object class name
    QString title;
    QString text; // the plain text of its QTextEdit, if it has one
};

// Watches for modal windows while the code under test runs its own modal
// loop: records each one that appears and closes it with reject(), so that a
// test never blocks on exec().
class ModalWindowCloser : public QObject
{
public:
    ModalWindowCloser();

    const QList<ShownWindow> &windows() const { return shown; }

private:
    void poll();

    QTimer timer;
    QList<ShownWindow> shown;
};
