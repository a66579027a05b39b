// Access rights of the log file.
#pragma once

#include <string>

namespace grittor {

// Files here already carry the user's normal permissions and a world-writable
// log is not wanted, so this changes nothing and reports success.
bool GrantEveryone(const std::string &fileName);

} // namespace grittor
