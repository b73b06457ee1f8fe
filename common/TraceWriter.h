#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace fivestage {

// A number to be written in lower-case hexadecimal digits, without prefix.
struct Hex {
  std::size_t value;
};

// Output in many short pieces: the cycle trace (about a hundred pieces a
// cycle) and the listing of loaded data. Collecting them in one buffer and
// handing it to the stream in large blocks costs a fraction of formatted
// stream insertion. Numbers are written in plain decimal, as stream insertion
// writes them by default.
class TraceWriter {
 public:
  explicit TraceWriter(std::ostream& sink) : sink_(sink), buffer_(new char[capacity]) {}
  ~TraceWriter() { flush(); }
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  TraceWriter& operator<<(std::string_view text) {
    if (used_ + text.size() > capacity) {
      spill();
      if (text.size() > capacity) {
        sink_.write(text.data(), static_cast<std::streamsize>(text.size()));
        handedOver_ += text.size();
        return *this;
      }
    }
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
    return *this;
  }
  TraceWriter& operator<<(const char* text) { return *this << std::string_view(text); }
  TraceWriter& operator<<(const std::string& text) { return *this << std::string_view(text); }
  TraceWriter& operator<<(char c) { return *this << std::string_view(&c, 1); }

  template <std::integral Number>
  TraceWriter& operator<<(Number value) {
    return number(value, 10);
  }
  TraceWriter& operator<<(Hex hex) { return number(hex.value, 16); }

  // How many bytes have been written so far, handed over or not: where the
  // next piece will lie in the stream's text.
  std::size_t written() const { return handedOver_ + used_; }

  // Hands everything written so far to the stream and flushes it: before the
  // program waits for a key, and at the end.
  void flush() {
    spill();
    sink_.flush();
  }

 private:
  template <std::integral Number>
  TraceWriter& number(Number value, int base) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
    return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
  }

  void spill() {
    if (used_ == 0) return;
    sink_.write(buffer_.get(), static_cast<std::streamsize>(used_));
    handedOver_ += used_;
    used_ = 0;
  }

  static constexpr std::size_t capacity = 64 * 1024;
  std::ostream& sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::size_t handedOver_ = 0;
};

}  // namespace fivestage
