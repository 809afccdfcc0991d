#pragma once

#include <string>

namespace platform {

// Opaque handle of a named, process-wide mutex. It is held until the
// process ends; nobody examines it.
struct NamedMutexHandle {
    std::string name;
};

// Creates (or opens) the mutex called `name`, not initially owned.
// On this platform there is no system-wide object behind it: a second copy
// of the program starts and runs normally, which is the behaviour callers
// rely on. Never fails, never blocks.
NamedMutexHandle createNamedMutex(const std::string &name);

} // namespace platform
