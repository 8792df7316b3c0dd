// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "logcapture.h"

#include <iostream>

// Splits one stream's bytes into lines and appends them, prefixed, to the
// shared list, so that lines of both streams keep their relative order; with
// `raw`, keeps the bytes as they came too.
class LogCapture::LineBuffer : public std::streambuf
{
public:
    LineBuffer(QStringList &target, const char *prefix, QByteArray *raw = nullptr)
        : target(target), prefix(prefix), raw(raw)
    {}

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
        if (raw)
            raw->append(static_cast<char>(ch));
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
    QByteArray *raw;    // not owned; may be null
};

LogCapture::LogCapture()
    : outBuffer(std::make_unique<LineBuffer>(collected, "out: ", &outBytes)),
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

QString LogCapture::standardOutput() const
{
    return QString::fromUtf8(outBytes);
}
