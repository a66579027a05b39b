// A thread for a short piece of work beside the calling one.  A freshly made
// thread starts on its maker's core, and the scheduler moves it to the idle
// one only after some milliseconds: a job that takes five was then done
// after the caller's own half, not beside it.  This one is placed on
// another core at once (where the process may run on more than one), and
// may run anywhere again once it has started.
#pragma once

#include <functional>
#include <thread>

namespace grittor {

// Raises std::system_error when no thread can be made, as std::thread does.
std::thread StartSideThread(std::function<void()> work);

} // namespace grittor
