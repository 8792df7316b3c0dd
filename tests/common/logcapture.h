// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    // Everything written to std::cout so far, as it was written.
    QString standardOutput() const;

private:
    class LineBuffer;
    QStringList collected;                 // complete lines, both streams
    QByteArray outBytes;                   // everything written to std::cout
    std::unique_ptr<LineBuffer> outBuffer; // installed into std::cout
    std::unique_ptr<LineBuffer> errBuffer; // installed into std::cerr
    std::streambuf *originalOut;           // restored on destruction; not owned
    std::streambuf *originalErr;           // restored on destruction; not owned
};
