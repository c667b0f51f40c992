// OutOfMemory: what morvik throws when memory runs out (zk_cstring, the hash tables). It is a
// std::bad_alloc, so one handler serves it and the standard library's own failures alike, and
// it is thrown by value: unlike the zkCException family, making it needs no memory. The exports
// catch it and answer with their error value; the process lives on.
#pragma once

#include <new>

class OutOfMemory : public std::bad_alloc {
public:
    // message: a literal, which outlives every handler.
    explicit OutOfMemory(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;
};
