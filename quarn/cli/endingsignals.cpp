// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/endingsignals.h"

namespace quarn {

namespace {

constexpr int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t endingSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : endingSignals)
        sigaddset(&set, signal);
    return set;
}

// The only thread with the ending signals unblocked: the kernel hands them
// to it, and it runs their handlers while it waits for stop(). Not
// cancelled: pthread_cancel loads a library on first use, which may fail
// when memory runs short; no descriptor either, which a tight limit lacks.
void *takeSignals(void *stopState)
{
    auto &state = *static_cast<EndingSignalsThread::StopState *>(stopState);
    const sigset_t set = endingSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    pthread_mutex_lock(&state.mutex);
    while (!state.stopping)
        pthread_cond_wait(&state.stopped, &state.mutex);
    pthread_mutex_unlock(&state.mutex);
    return nullptr;
}

} // namespace

EndingSignalsThread::EndingSignalsThread()
{
    const sigset_t set = endingSet();
    if (pthread_sigmask(SIG_BLOCK, &set, &m_before) != 0)
        return;
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) == 0) {
        pthread_attr_setstacksize(&attributes, 64 * 1024); // handlers only: no recursion, no buffers
        m_running = pthread_create(&m_thread, &attributes, takeSignals, &m_stop) == 0;
        pthread_attr_destroy(&attributes);
    }
    if (!m_running)
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

void EndingSignalsThread::stop()
{
    if (!m_running)
        return;
    m_running = false;
    pthread_mutex_lock(&m_stop.mutex);
    m_stop.stopping = true;
    pthread_cond_signal(&m_stop.stopped);
    pthread_mutex_unlock(&m_stop.mutex);
    pthread_join(m_thread, nullptr);
    pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

} // namespace quarn
