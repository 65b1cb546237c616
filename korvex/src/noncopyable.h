// Base of the classes that own a handle (a file, a session, a thread) and so
// must not be copied.
#pragma once

namespace korvex {

class NonCopyable
{
public:
    NonCopyable(const NonCopyable &) = delete;
    NonCopyable &operator=(const NonCopyable &) = delete;

protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};

} // namespace korvex
