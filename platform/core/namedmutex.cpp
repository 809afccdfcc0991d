#include "namedmutex.h"

namespace platform {

NamedMutexHandle createNamedMutex(const std::string &name)
{
    // The game only ever created the mutex to mark itself as running; it
    // never waited on it nor refused to start a second copy. Nothing here
    // needs to be visible to other processes.
    return NamedMutexHandle{name};
}

} // namespace platform
