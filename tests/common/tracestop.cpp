// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tracestop.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

TraceFifo::TraceFifo(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkfifo(name.constData(), 0600) == 0)
        m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

TraceFifo::~TraceFifo()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

pid_t TraceFifo::stoppedThread()
{
    QByteArray trace;
    for (;;) {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 60000) != 1)
            return 0;
        char buffer[4096];
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got == 0)
            return 0;
        if (got > 0)
            trace.append(buffer, qsizetype(got));
        for (qsizetype end; (end = trace.indexOf('\n')) >= 0; trace.remove(0, end + 1))
            if (trace.left(end).endsWith("--- stopped by SIGSTOP ---"))
                return pid_t(trace.left(end).split(' ').value(0).toInt());
    }
}

void TraceFifo::continueUntilEnd(pid_t process)
{
    for (int tick = 0; tick < 600; ++tick) {
        if (::kill(process, SIGCONT) != 0)
            return;
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) == 1) {
            char buffer[4096];
            if (::read(m_fd, buffer, sizeof buffer) == 0)
                return;
        }
    }
}
