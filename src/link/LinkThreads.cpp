#include "link/LinkThreads.h"

#include "foundation/UiHooks.h"

#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace grittor {

namespace {
thread_local bool t_commThread = false;
thread_local int t_savedNice = 0;
thread_local bool t_niceChanged = false;
} // namespace

void MarkCommThread(bool on)
{
    t_commThread = on;
}
bool OnCommThread()
{
    return t_commThread;
}
bool OnInterfaceThread()
{
    return !t_commThread && GetUiHooks().IsUiThread();
}

bool RaiseThreadPriority()
{
    sched_param p{};
    p.sched_priority = sched_get_priority_min(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &p) == 0)
        return true;
    // No real-time rights: a lower nice value still helps when the limits allow it.
    const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0)
        return false;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -10) == 0) {
        if (!t_niceChanged) {
            t_savedNice = current;
            t_niceChanged = true;
        }
        return true;
    }
    return false;
}

void RestoreThreadPriority()
{
    int policy = 0;
    sched_param p{};
    if (pthread_getschedparam(pthread_self(), &policy, &p) == 0 && policy != SCHED_OTHER) {
        p.sched_priority = 0;
        pthread_setschedparam(pthread_self(), SCHED_OTHER, &p);
    }
    if (t_niceChanged) {
        const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), t_savedNice);
        t_niceChanged = false;
    }
}

} // namespace grittor
