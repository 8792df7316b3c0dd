// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tracestop.h"

#include <QByteArray>
#include <QDir>
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

namespace {

// Whether every thread of the process that thread belongs to is stopped (by a
// signal, or by its tracer).
bool allThreadsStopped(pid_t thread)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(thread));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &id : ids) {
        QFile stat(tasks.filePath(id + "/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = stat.readAll();
        const qsizetype at = text.lastIndexOf(')') + 2;
        const char state = at > 1 && at < text.size() ? text.at(at) : 0;
        if (state != 't' && state != 'T')
            return false;
    }
    return !ids.isEmpty();
}

} // namespace

void TraceFifo::continueUntilEnd(pid_t process)
{
    ::kill(process, SIGCONT);
    for (int tick = 0, stopped = 0; tick < 600; ++tick) {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) == 1) {
            char buffer[4096];
            if (::read(m_fd, buffer, sizeof buffer) == 0)
                return;
        }
        stopped = allThreadsStopped(process) ? stopped + 1 : 0;
        if (stopped == 10) {
            ::kill(process, SIGCONT);
            stopped = 0;
        }
    }
}
