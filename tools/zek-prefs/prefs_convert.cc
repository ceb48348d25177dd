#include "zek-prefs/prefs_convert.h"

#include <optional>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/file_system.h"
#include "binding/json_reader.h"
#include "binding/message_format.h"
#include "binding/msgpack_reader.h"
#include "binding/yaml_reader.h"
#include "binding/yaml_writer.h"
#include "cell_json/cell_json_renderer.h"

namespace Varn::Tools {
namespace {

// The request layer refuses a body with bytes after its value or one that ends inside a
// container would be kept half-read; a converted file must not silently lose data either.
constexpr std::string_view kExtraDataFormat =
    "Invalid MessagePack data. Extra data found at position %1.";
constexpr std::string_view kIncompleteFormat =
    "Invalid MessagePack data. The input ends inside a container at position %1.";
constexpr std::string_view kSerializeFailed = "Failed to serialize BindingProperty.";
constexpr std::string_view kStdinReadFailed = "Couldn't read standard input";

enum class Format { kJson, kYaml, kMsgPack };

std::optional<Format> FormatByName(std::string_view name) {
  if (name == "json") return Format::kJson;
  if (name == "yaml") return Format::kYaml;
  if (name == "msgpack") return Format::kMsgPack;
  return std::nullopt;
}

Format FormatByExtension(std::string_view path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return Format::kJson;
  }
  const std::string_view extension = path.substr(dot + 1);
  if (extension == "yaml" || extension == "yml") return Format::kYaml;
  if (extension == "msgpack" || extension == "mpk") return Format::kMsgPack;
  return Format::kJson;
}

struct Options {
  std::optional<Format> from;
  Format to = Format::kYaml;
  bool crlf = false;
  std::string input = "-";
};

void Print(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// Parses the arguments; returns an error text for a usage error.
std::optional<std::string> ParseOptions(const std::vector<std::string>& args, Options& options) {
  bool have_input = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--from" || arg == "--to") {
      if (i + 1 == args.size()) return arg + " needs a format";
      const std::string& name = args[++i];
      const std::optional<Format> format = FormatByName(name);
      if (!format || (arg == "--to" && *format == Format::kMsgPack)) {
        return "unknown format for " + arg + ": " + name;
      }
      if (arg == "--from") {
        options.from = format;
      } else {
        options.to = *format;
      }
    } else if (arg == "--crlf") {
      options.crlf = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option: " + arg;
    } else if (have_input) {
      return "only one input file can be converted";
    } else {
      options.input = arg;
      have_input = true;
    }
  }
  return std::nullopt;
}

bool ReadAll(std::FILE* in, std::string& contents) {
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), in)) > 0) contents.append(buffer, n);
  return !std::ferror(in);
}

BindingResult Decode(Format format, const std::string& bytes) {
  switch (format) {
    case Format::kYaml:
      // YAML input is a preferences file, which may be as deep as the file reader allows.
      return ParseYaml(bytes, kMaxYamlFileDepth);
    case Format::kMsgPack: {
      size_t consumed = 0;
      bool complete = false;
      BindingResult result = ParseMsgPack(bytes.data(), bytes.size(), &consumed, &complete);
      if (!result.IsOk()) return result;
      if (consumed < bytes.size()) {
        return BindingResult::Error(FormatMessage(kExtraDataFormat, uint64_t{consumed}));
      }
      if (!complete && !bytes.empty()) {
        return BindingResult::Error(FormatMessage(kIncompleteFormat, uint64_t{consumed}));
      }
      return result;
    }
    case Format::kJson:
      break;
  }
  return ParseJson(bytes);
}

std::string Encode(Format format, const BindingProperty& value, bool crlf, bool& ok) {
  ok = true;
  if (format == Format::kYaml) {
    std::string text = WriteYaml(value, nullptr, crlf ? "\r\n" : "\n", false);
    // An Empty value legitimately writes nothing; anything else that writes nothing could not
    // be written (a string that is not valid UTF-8).
    ok = !text.empty() || value.IsEmpty();
    return text;
  }
  PluginCell cell{};
  BindingProperty::ToBoundary(value, nullptr, cell);
  std::string json = RenderCellJson(cell, CellJsonStyle::kPretty);
  BindingProperty::ReleaseBoundary(cell);
  json += '\n';
  if (!crlf) return json;
  // JSON strings never hold a raw line break, so every one is layout.
  std::string with_crlf;
  with_crlf.reserve(json.size() + json.size() / 8);
  for (char c : json) {
    if (c == '\n') with_crlf += '\r';
    with_crlf += c;
  }
  return with_crlf;
}

}  // namespace

int RunConvert(const std::vector<std::string>& args, std::FILE* in, std::FILE* out,
               std::FILE* err) {
  Options options;
  if (const std::optional<std::string> usage_error = ParseOptions(args, options)) {
    Print(err, "zek-prefs convert: " + *usage_error + "\n\n");
    Print(err, kConvertUsage);
    return 2;
  }
  std::string bytes;
  Format from = options.from.value_or(Format::kJson);
  if (options.input == "-") {
    if (!ReadAll(in, bytes)) {
      Print(err, std::string(kStdinReadFailed) + "\n");
      return 1;
    }
  } else {
    if (!options.from) from = FormatByExtension(options.input);
    const FileStatus read = ReadWholeFile(options.input, bytes);
    if (!read.IsOk()) {
      Print(err, read.Message() + "\n");
      return 1;
    }
  }
  const BindingResult decoded = Decode(from, bytes);
  if (!decoded.IsOk()) {
    Print(err, decoded.ErrorMessage() + "\n");
    return 1;
  }
  bool ok = true;
  const std::string text = Encode(options.to, decoded.value, options.crlf, ok);
  if (!ok) {
    Print(err, std::string(kSerializeFailed) + "\n");
    return 1;
  }
  Print(out, text);
  return std::fflush(out) == 0 ? 0 : 1;
}

}  // namespace Varn::Tools
