// Small thread-safe holders the link shares with the main window: an event
// that may be bound while the receive thread runs, and the display-line lists.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace grittor {

template <class Sig> class TSharedEvent;

// A std::function that one thread may bind while another calls it.
template <class R, class... A> class TSharedEvent<R(A...)> {
public:
    TSharedEvent &operator=(std::function<R(A...)> f)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fn_ = std::move(f);
        return *this;
    }
    TSharedEvent &operator=(std::nullptr_t)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fn_ = nullptr;
        return *this;
    }
    explicit operator bool() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<bool>(fn_);
    }
    // Calls the bound function (nothing when unbound).  The lock is not held
    // during the call, so the function may rebind the event.
    void operator()(A... args) const
    {
        std::function<R(A...)> f;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            f = fn_;
        }
        if (f)
            f(args...);
    }

private:
    mutable std::mutex mutex_;
    std::function<R(A...)> fn_;
};

// Display lines queued by one thread and drained by the interface thread.
class TLineList {
public:
    // Appends a line; true when the list was empty before (the moment a
    // drain has to be asked for).
    bool add(std::string line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool wasEmpty = lines_.empty();
        lines_.push_back(std::move(line));
        return wasEmpty;
    }
    // Takes the first line; false when there is none.
    bool take_first(std::string &line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lines_.empty())
            return false;
        line = std::move(lines_.front());
        lines_.pop_front();
        return true;
    }
    bool empty() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_.empty();
    }
    size_t size() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_.size();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::deque<std::string> lines_;
};

} // namespace grittor
