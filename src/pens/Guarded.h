// Wraps a window handler so that no exception leaves the slot: it goes to the
// exception report, naming the routine, and the window keeps running.
#pragma once

#include "foundation/ExceptionReporting.h"

#include <exception>
#include <string>
#include <utility>

namespace grittor {

template <class F> auto Guarded(const char *routine, F f)
{
    return [routine, f = std::move(f)](auto &&...) {
        try {
            f();
        } catch (const std::exception &e) {
            Report(routine, std::string("Exception in ") + routine, &e, 0);
        } catch (...) {
            Report(routine, std::string("Exception in ") + routine, nullptr, 0);
        }
    };
}

} // namespace grittor
