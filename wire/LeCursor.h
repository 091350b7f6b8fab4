// Little-endian fields on the wire: a bounded reader over received bytes and a bounded writer into a packet.
// Every multi-byte field of the modem's protocol is little-endian and packed. Nothing here reads or writes
// outside the span it was given: a read past the end yields 0 and clears ok(), a write past the end writes
// nothing and clears ok().
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace velmo::wire {

using ConstBytes = std::span<const uint8_t>;
using MutableBytes = std::span<uint8_t>;

// True when width bytes at offset at lie inside a buffer of n bytes (no overflow on huge offsets).
constexpr bool Fits(size_t n, size_t at, size_t width) {
    return at <= n && width <= n - at;
}

// An unsigned little-endian value of width bytes at at; 0 when it does not fit.
constexpr uint64_t LoadLe(ConstBytes b, size_t at, size_t width) {
    if (width > 8 || !Fits(b.size(), at, width)) {
        return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) {
        v |= static_cast<uint64_t>(b[at + i]) << (8 * i);
    }
    return v;
}

// Stores the low width bytes of v at at; false (and nothing written) when it does not fit.
constexpr bool StoreLe(MutableBytes b, size_t at, size_t width, uint64_t v) {
    if (width > 8 || !Fits(b.size(), at, width)) {
        return false;
    }
    for (size_t i = 0; i < width; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    return true;
}

constexpr uint8_t Get8(ConstBytes b, size_t at) {
    return static_cast<uint8_t>(LoadLe(b, at, 1));
}
constexpr uint16_t Get16(ConstBytes b, size_t at) {
    return static_cast<uint16_t>(LoadLe(b, at, 2));
}
constexpr uint32_t Get32(ConstBytes b, size_t at) {
    return static_cast<uint32_t>(LoadLe(b, at, 4));
}
constexpr uint64_t Get64(ConstBytes b, size_t at) {
    return LoadLe(b, at, 8);
}
constexpr bool Put8(MutableBytes b, size_t at, uint8_t v) {
    return StoreLe(b, at, 1, v);
}
constexpr bool Put16(MutableBytes b, size_t at, uint16_t v) {
    return StoreLe(b, at, 2, v);
}
constexpr bool Put32(MutableBytes b, size_t at, uint32_t v) {
    return StoreLe(b, at, 4, v);
}
constexpr bool Put64(MutableBytes b, size_t at, uint64_t v) {
    return StoreLe(b, at, 8, v);
}

// Reads fields one after the other from a received packet.
class LeReader {
  public:
    constexpr explicit LeReader(ConstBytes data, size_t pos = 0) : data_(data), pos_(pos) {}
    constexpr LeReader(const uint8_t* data, size_t n, size_t pos = 0) : data_(data, n), pos_(pos) {}

    constexpr uint8_t U8() { return static_cast<uint8_t>(Read(1)); }
    constexpr uint16_t U16() { return static_cast<uint16_t>(Read(2)); }
    constexpr uint32_t U32() { return static_cast<uint32_t>(Read(4)); }
    constexpr uint64_t U64() { return Read(8); }
    constexpr int8_t S8() { return static_cast<int8_t>(U8()); }
    constexpr int16_t S16() { return static_cast<int16_t>(U16()); }
    constexpr int32_t S32() { return static_cast<int32_t>(U32()); }

    // Copies n bytes; past the end the rest of out is zero-filled and ok() is cleared.
    constexpr void Bytes(MutableBytes out) {
        const size_t n = out.size();
        const size_t have = Has(pos_, n) ? n : remaining();
        for (size_t i = 0; i < n; ++i) {
            out[i] = i < have ? data_[pos_ + i] : 0;
        }
        if (have < n) {
            ok_ = false;
            pos_ = data_.size();
        } else {
            pos_ += n;
        }
    }
    // A fixed-width text field: its bytes up to the first zero, at most width of them.
    std::string Text(size_t width) {
        std::string out;
        const size_t have = std::min(width, remaining());
        for (size_t i = 0; i < have && data_[pos_ + i] != 0; ++i) {
            out += static_cast<char>(data_[pos_ + i]);
        }
        Skip(width);
        return out;
    }
    // The next n bytes as a view; empty (and ok() cleared) when fewer remain.
    constexpr ConstBytes View(size_t n) {
        if (!Has(pos_, n)) {
            ok_ = false;
            pos_ = data_.size();
            return {};
        }
        const ConstBytes v = data_.subspan(pos_, n);
        pos_ += n;
        return v;
    }
    constexpr void Skip(size_t n) {
        if (!Has(pos_, n)) {
            ok_ = false;
            pos_ = data_.size();
            return;
        }
        pos_ += n;
    }
    constexpr void Seek(size_t pos) { pos_ = pos; }

    constexpr bool ok() const { return ok_; }
    constexpr size_t pos() const { return pos_; }
    constexpr size_t size() const { return data_.size(); }
    constexpr size_t remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
    constexpr bool Has(size_t pos, size_t width) const { return Fits(data_.size(), pos, width); }
    constexpr ConstBytes Data() const { return data_; }

  private:
    constexpr uint64_t Read(size_t width) {
        if (!Has(pos_, width)) {
            ok_ = false;
            pos_ = data_.size();
            return 0;
        }
        const uint64_t v = LoadLe(data_, pos_, width);
        pos_ += width;
        return v;
    }

    ConstBytes data_;
    size_t pos_;
    bool ok_ = true;
};

// Writes fields one after the other into a fixed packet buffer.
class LeWriter {
  public:
    constexpr explicit LeWriter(MutableBytes out, size_t pos = 0) : out_(out), pos_(pos) {}
    constexpr LeWriter(uint8_t* out, size_t n, size_t pos = 0) : out_(out, n), pos_(pos) {}

    constexpr LeWriter& U8(uint8_t v) { return Write(1, v); }
    constexpr LeWriter& U16(uint16_t v) { return Write(2, v); }
    constexpr LeWriter& U32(uint32_t v) { return Write(4, v); }
    constexpr LeWriter& U64(uint64_t v) { return Write(8, v); }
    constexpr LeWriter& Bytes(ConstBytes bytes) {
        if (!Fits(out_.size(), pos_, bytes.size())) {
            ok_ = false;
            return *this;
        }
        std::copy(bytes.begin(), bytes.end(), out_.begin() + static_cast<std::ptrdiff_t>(pos_));
        pos_ += bytes.size();
        return *this;
    }
    // A fixed-width text field: the text cut to width and padded with pad.
    constexpr LeWriter& Text(std::string_view text, size_t width, char pad = '\0') {
        if (!Fits(out_.size(), pos_, width)) {
            ok_ = false;
            return *this;
        }
        for (size_t i = 0; i < width; ++i) {
            out_[pos_ + i] = static_cast<uint8_t>(i < text.size() ? text[i] : pad);
        }
        pos_ += width;
        return *this;
    }
    constexpr LeWriter& Fill(size_t n, uint8_t v = 0) {
        if (!Fits(out_.size(), pos_, n)) {
            ok_ = false;
            return *this;
        }
        for (size_t i = 0; i < n; ++i) {
            out_[pos_ + i] = v;
        }
        pos_ += n;
        return *this;
    }
    constexpr LeWriter& Seek(size_t pos) {
        pos_ = pos;
        return *this;
    }

    constexpr bool ok() const { return ok_; }
    constexpr size_t pos() const { return pos_; }
    constexpr size_t size() const { return out_.size(); }

  private:
    constexpr LeWriter& Write(size_t width, uint64_t v) {
        if (!StoreLe(out_, pos_, width, v)) {
            ok_ = false;
            return *this;
        }
        pos_ += width;
        return *this;
    }

    MutableBytes out_;
    size_t pos_;
    bool ok_ = true;
};

// Appends fields to a growing packet.
class LeAppender {
  public:
    explicit LeAppender(std::vector<uint8_t>& out) : out_(out) {}

    LeAppender& U8(uint8_t v) { return Append(1, v); }
    LeAppender& U16(uint16_t v) { return Append(2, v); }
    LeAppender& U32(uint32_t v) { return Append(4, v); }
    LeAppender& U64(uint64_t v) { return Append(8, v); }
    LeAppender& Bytes(ConstBytes bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    LeAppender& Text(std::string_view text, size_t width, char pad = '\0') {
        for (size_t i = 0; i < width; ++i) {
            out_.push_back(static_cast<uint8_t>(i < text.size() ? text[i] : pad));
        }
        return *this;
    }
    LeAppender& Fill(size_t n, uint8_t v = 0) {
        out_.insert(out_.end(), n, v);
        return *this;
    }

  private:
    LeAppender& Append(size_t width, uint64_t v) {
        for (size_t i = 0; i < width; ++i) {
            out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return *this;
    }

    std::vector<uint8_t>& out_;
};

}  // namespace velmo::wire
