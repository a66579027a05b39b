#include "foundation/KorvaneAclApi.h"

namespace grittor {

bool GrantEveryone(const std::string &) { return true; }

} // namespace grittor
