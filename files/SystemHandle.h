#pragma once

#include <cstdint>

namespace files {

// An open descriptor (natively) or HANDLE (Windows), closed with its owner.
class SystemHandle {
public:
    SystemHandle() = default;
    explicit SystemHandle(std::intptr_t handle) : handle_(handle) {}
    SystemHandle(SystemHandle&& other) noexcept : handle_(other.release()) {}
    SystemHandle& operator=(SystemHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~SystemHandle() { reset(); }

    static constexpr std::intptr_t None = -1;  // also INVALID_HANDLE_VALUE
    std::intptr_t get() const { return handle_; }
    bool isOpen() const { return handle_ != None; }
    std::intptr_t release()
    {
        std::intptr_t handle = handle_;
        handle_ = None;
        return handle;
    }
    // Closes the handle held, if any (each platform's own call).
    void reset(std::intptr_t handle = None);

private:
    std::intptr_t handle_ = None;
};

// A handle that keeps the file an open handle is on from going while it
// lives, for nothing else (natively an O_PATH descriptor, so that the file's
// inode is never another's meanwhile); none on Windows, where any handle on a
// file keeps other programs from replacing it.
SystemHandle HoldFile(std::intptr_t open);

}  // namespace files
