// Which thread is running: the receive thread marks itself so that nothing
// it calls ever runs window code.
#pragma once

namespace grittor {

// Set by the receive thread for its own lifetime.
void MarkCommThread(bool on);
bool OnCommThread();
// True on the interface thread (and never on the receive thread).
bool OnInterfaceThread();

// Raises the calling thread to the highest priority the system grants
// (round-robin real time where allowed, else a lower nice value); returns
// false when the system refuses.  Restore puts the thread back to normal.
bool RaiseThreadPriority();
void RestoreThreadPriority();

} // namespace grittor
