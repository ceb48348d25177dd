#include "cell_json/cell_json_renderer.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

namespace Varn {
namespace {

// RapidJSON output stream appending to a std::string.
class StringSink {
 public:
  using Ch = char;
  explicit StringSink(std::string& out) : out_(out) {}
  void Put(char c) { out_.push_back(c); }
  void Flush() {}

 private:
  std::string& out_;
};

std::string Base64(const uint8_t* bytes, size_t length) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((length + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t group =
        (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(kAlphabet[(group >> 6) & 63]);
    out.push_back(kAlphabet[group & 63]);
  }
  if (i < length) {
    const bool two = i + 1 < length;
    const uint32_t group = (uint32_t{bytes[i]} << 16) | (two ? uint32_t{bytes[i + 1]} << 8 : 0);
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(two ? kAlphabet[(group >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when it is not one (overlong forms,
// surrogates and code points above U+10FFFF included).
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  if (lead < 0x80) return 1;
  size_t length;
  uint8_t low = 0x80, high = 0xbf;  // bounds of the second byte
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
  }
  return length;
}

// JSON text must be UTF-8; a byte that starts no valid sequence becomes U+FFFD. Returns `text`
// itself when it is already valid (the usual case), else the repaired copy in `storage`.
std::string_view ValidUtf8(std::string_view text, std::string& storage) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t n = Utf8SequenceLength(text, i);
    if (n == 0) break;
    i += n;
  }
  if (i == text.size()) return text;
  storage.assign(text.substr(0, i));
  while (i < text.size()) {
    const size_t n = Utf8SequenceLength(text, i);
    if (n == 0) {
      storage.append("\xef\xbf\xbd");
      ++i;
    } else {
      storage.append(text.substr(i, n));
      i += n;
    }
  }
  return storage;
}

template <class Writer>
void WriteText(Writer& writer, std::string_view text, bool is_key) {
  std::string storage;
  const std::string_view valid = ValidUtf8(text, storage);
  const auto length = static_cast<rapidjson::SizeType>(valid.size());
  if (is_key) {
    writer.Key(valid.data(), length);
  } else {
    writer.String(valid.data(), length);
  }
}

template <class Writer>
void WriteFloat(Writer& writer, double value) {
  if (!std::isfinite(value)) {
    writer.Null();
    return;
  }
  // Shortest round-trip digits; ".0" keeps integral values floats for a reader that types
  // numbers by their form.
  char buffer[40];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer) - 2, value);
  (void)ec;  // cannot fail: 40 bytes hold every double
  char* last = end;
  if (std::string_view(buffer, static_cast<size_t>(end - buffer)).find_first_of(".e") ==
      std::string_view::npos) {
    *last++ = '.';
    *last++ = '0';
  }
  writer.RawValue(buffer, static_cast<size_t>(last - buffer), rapidjson::kNumberType);
}

std::string_view CellText(const PluginCell& cell) {
  if (cell.payload.string.text == nullptr) return {};
  return std::string_view(cell.payload.string.text, cell.payload.string.length);
}

// An open array or object whose items are still being written.
struct OpenContainer {
  const PluginCell* cells;
  const PluginStructEntry* entries;
  size_t count;
  size_t next;
  bool is_object;
};

template <class Writer>
void Render(Writer& writer, const PluginCell& root) {
  std::vector<OpenContainer> open;
  const PluginCell* cell = &root;
  while (cell != nullptr) {
    switch (cell->kind) {
      case PLUGIN_CELL_BOOL:
        writer.Bool(cell->payload.boolean != 0);
        break;
      case PLUGIN_CELL_SIGNED:
        writer.Int64(cell->payload.i64);
        break;
      case PLUGIN_CELL_UNSIGNED:
        writer.Uint64(cell->payload.u64);
        break;
      case PLUGIN_CELL_FLOAT:
        WriteFloat(writer, cell->payload.f64);
        break;
      case PLUGIN_CELL_STRING_REF:
      case PLUGIN_CELL_STRING:
        WriteText(writer, CellText(*cell), false);
        break;
      case PLUGIN_CELL_BLOB_REF:
      case PLUGIN_CELL_BLOB: {
        const bool has_bytes = cell->payload.blob.bytes != nullptr;
        const std::string text =
            Base64(cell->payload.blob.bytes, has_bytes ? cell->payload.blob.length : 0);
        writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
        break;
      }
      case PLUGIN_CELL_COLLECTION: {
        const auto& c = cell->payload.collection;
        writer.StartArray();
        open.push_back({c.cells, nullptr, c.cells != nullptr ? c.count : 0, 0, false});
        break;
      }
      case PLUGIN_CELL_STRUCTURE: {
        const auto& s = cell->payload.structure;
        writer.StartObject();
        open.push_back({nullptr, s.entries, s.entries != nullptr ? s.count : 0, 0, true});
        break;
      }
      default:  // PLUGIN_CELL_EMPTY and kinds this renderer does not know
        writer.Null();
        break;
    }
    // Next cell: the next item of the innermost open container, closing finished ones.
    cell = nullptr;
    while (cell == nullptr && !open.empty()) {
      OpenContainer& top = open.back();
      const bool is_object = top.is_object;
      if (top.next == top.count) {
        if (is_object) {
          writer.EndObject();
        } else {
          writer.EndArray();
        }
        open.pop_back();
        continue;
      }
      const size_t index = top.next++;
      if (is_object) {
        const PluginStructEntry& entry = top.entries[index];
        WriteText(writer, entry.key != nullptr ? std::string_view(entry.key) : std::string_view(),
                  true);
        cell = &entry.value;
      } else {
        cell = &top.cells[index];
      }
    }
  }
}

}  // namespace

std::string RenderCellJson(const PluginCell& cell, CellJsonStyle style) {
  std::string out;
  StringSink sink(out);
  if (style == CellJsonStyle::kPretty) {
    rapidjson::PrettyWriter<StringSink> writer(sink);
    writer.SetIndent(' ', 2);
    Render(writer, cell);
  } else {
    rapidjson::Writer<StringSink> writer(sink);
    Render(writer, cell);
  }
  return out;
}

}  // namespace Varn
