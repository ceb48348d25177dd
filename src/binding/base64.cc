#include "binding/base64.h"

#include <array>

namespace Varn {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kInvalid = 0xFF;

// Character to 6-bit value; kInvalid outside the alphabet (including "=").
constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = i;
  return table;
}
constexpr std::array<uint8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

std::string Base64Encode(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t group = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t group = uint32_t{bytes[i]} << 16;
    if (rest == 2) group |= uint32_t{bytes[i + 1]} << 8;
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  return Base64Encode(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::vector<uint8_t> Base64Decode(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3 + 2);
  uint32_t group = 0;
  int count = 0;
  for (char c : text) {
    uint8_t v = kDecode[static_cast<uint8_t>(c)];
    if (v == kInvalid) break;
    group = (group << 6) | v;
    if (++count == 4) {
      out.push_back(static_cast<uint8_t>(group >> 16));
      out.push_back(static_cast<uint8_t>(group >> 8));
      out.push_back(static_cast<uint8_t>(group));
      group = 0;
      count = 0;
    }
  }
  if (count >= 2) {
    group <<= 6 * (4 - count);
    out.push_back(static_cast<uint8_t>(group >> 16));
    if (count == 3) out.push_back(static_cast<uint8_t>(group >> 8));
  }
  return out;
}

}  // namespace Varn
