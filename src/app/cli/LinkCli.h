// The machine link as grittor-cli's commands open it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace grittor {
class TSerial;
}

namespace grittor::cli {

// The link on `port` (bound to com1 for this run), or nullptr after one
// line on stderr saying why (`rc` 2 for a path that can never be a serial
// port, 1 for one that failed now).  A negative timeout keeps the link's.
std::unique_ptr<TSerial> OpenCliLink(const std::string &port, int32_t baud, int64_t timeoutMs, int &rc);

} // namespace grittor::cli
