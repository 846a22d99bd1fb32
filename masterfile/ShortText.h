#pragma once
// A short text built in place, so that number and date texts on the hot path
// of a run cost no allocation. It holds at most Capacity bytes; anything
// beyond is dropped rather than written past the end.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

class ShortText {
public:
    static constexpr std::size_t Capacity = 32;

    void append(char c)
    {
        if (size_ < Capacity)
            data_[size_++] = c;
    }
    void append(std::size_t count, char c)
    {
        for (count = std::min(count, Capacity - size_); count > 0; --count)
            data_[size_++] = c;
    }
    // Byte loops: these texts are a few bytes long, shorter than a call to memcpy costs.
    void append(std::string_view text)
    {
        std::size_t count = std::min(text.size(), Capacity - size_);
        for (std::size_t i = 0; i < count; ++i)
            data_[size_++] = text[i];
    }
    // The decimal digits of value, without sign or leading zeros.
    void appendDigits(std::uint32_t value)
    {
        char digits[10];
        char* start = digits + sizeof digits;
        do {
            *--start = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        append(std::string_view(start, static_cast<std::size_t>(digits + sizeof digits - start)));
    }

    std::size_t size() const { return size_; }
    std::string_view view() const { return {data_, size_}; }
    std::string str() const { return std::string(view()); }

private:
    char data_[Capacity];
    std::size_t size_ = 0;
};
