// Helpers of the fuzz targets: walking the fuzzer's bytes in pieces, each
// piece copied into a heap buffer of exactly its own size so that a read one
// byte too far is an AddressSanitizer report, and a diagnostic sink that
// keeps the decoder's lines off standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t remaining() const { return size_ - at_; }

  // The next byte, or 0 when none is left.
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

  // The next `count` bytes in a buffer of exactly `count` bytes; where the
  // input ends first, the missing bytes are `fill`.
  std::unique_ptr<uint8_t[]> take(size_t count, uint8_t fill = 0) {
    std::unique_ptr<uint8_t[]> piece(new uint8_t[count]);
    size_t n = remaining() < count ? remaining() : count;
    if (n > 0) std::memcpy(piece.get(), data_ + at_, n);
    if (n < count) std::memset(piece.get() + n, fill, count - n);
    at_ += n;
    return piece;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Sends the decoder's diagnostic lines nowhere. With QUILLO_FUZZ_TRAP_DIVISION
// set in the environment, a division error of the fixed-point operators
// aborts instead, so that the fuzzer keeps an input that provokes one.
void quietDecoderMessages();

// Stops the process as a finding: prints `what` on standard error and aborts.
[[noreturn]] void fuzzFailure(const char* what);

#define FUZZ_CHECK(condition)                  \
  do {                                         \
    if (!(condition)) fuzzFailure(#condition); \
  } while (0)
