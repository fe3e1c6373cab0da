#pragma once
// The one way decoders read a file: every read checks what is left and throws
// the format's truncation message, so there is no unchecked read to forget.
#include "config/Messages.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size, Msg truncated = Msg::StreamRead)
        : data_(data), size_(size), truncated_(truncated) {}

    std::size_t Position() const { return pos_; }
    std::size_t Size() const { return size_; }
    std::size_t Remaining() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ >= size_; }

    void Seek(std::size_t pos) {
        if (pos > size_) Throw(truncated_);
        pos_ = pos;
    }
    void Skip(std::size_t n) {
        Need(n);
        pos_ += n;
    }
    std::uint8_t U8() {
        Need(1);
        return data_[pos_++];
    }
    std::uint16_t U16() {
        Need(2);
        const std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
    std::uint32_t U32() {
        Need(4);
        const std::uint32_t v = static_cast<std::uint32_t>(data_[pos_]) |
                                (static_cast<std::uint32_t>(data_[pos_ + 1]) << 8) |
                                (static_cast<std::uint32_t>(data_[pos_ + 2]) << 16) |
                                (static_cast<std::uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    std::int32_t S32() { return static_cast<std::int32_t>(U32()); }
    // A pointer to the next n bytes, which stay valid as long as the data.
    const std::uint8_t* Bytes(std::size_t n) {
        Need(n);
        const std::uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    void Read(void* out, std::size_t n) { std::memcpy(out, Bytes(n), n); }

  private:
    void Need(std::size_t n) const {
        if (n > size_ - pos_) Throw(truncated_);
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    Msg truncated_;
};
