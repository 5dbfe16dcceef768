// Feeds arbitrary bytes to the settings decoder. Whatever decodes must survive a round trip:
// encoding it and decoding the text again gives an equal state, and encoding is stable.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/StateCodec.h"

namespace {

[[noreturn]] void violation(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz_state_decoder: %s\n%s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto decoded = tandemo::decodeState(text);
  if (!decoded) {
    // Every refusal names a reason.
    if (decoded.error().reason.empty()) violation("decode failed without a reason", decoded.error().path);
    return 0;
  }

  const std::string encoded = tandemo::encodeState(*decoded);
  const auto again = tandemo::decodeState(encoded);
  if (!again) violation("the encoder's output does not decode", again.error().describe() + "\n" + encoded);
  if (!(*again == *decoded)) violation("decode(encode(state)) differs from state", encoded);

  const std::string reencoded = tandemo::encodeState(*again);
  if (reencoded != encoded) violation("encode(decode(encode(state))) differs from encode(state)", encoded + "\n----\n" + reencoded);
  return 0;
}
