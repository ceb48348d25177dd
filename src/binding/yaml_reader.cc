#include "binding/yaml_reader.h"

#include <yaml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "binding/binding_assign.h"
#include "binding/file_system.h"
#include "binding/message_format.h"

namespace Varn {
namespace {

constexpr std::string_view kStrTag = "tag:yaml.org,2002:str";
constexpr std::string_view kIntTag = "tag:yaml.org,2002:int";
constexpr std::string_view kFloatTag = "tag:yaml.org,2002:float";
constexpr std::string_view kBoolTag = "tag:yaml.org,2002:bool";

constexpr std::string_view kMultiDocument = "Multi-document YAML is not supported.";
constexpr std::string_view kInvalidKey =
    "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2";
constexpr std::string_view kDuplicateAnchor =
    "Duplicate occurrence of anchor \"%1\". At line: %2 col: %3";
constexpr std::string_view kUnexpectedSequence =
    "Unexpected start of sequence. At line: %1 col: %2";
constexpr std::string_view kUnexpectedMapping = "Unexpected start of mapping. At line: %1 col: %2";
constexpr std::string_view kCyclicAlias =
    "Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3";
constexpr std::string_view kUndefinedAlias =
    "Undefined alias encountered: \"%1\". At line: %2 col: %3";
constexpr std::string_view kParserError = "YAML parser error: %1. At line: %2 col: %3";
constexpr std::string_view kUnsupportedTag = "Unsupported YAML tag '%1'.";
constexpr std::string_view kTooDeep = "Maximum nesting depth of %1 exceeded. At line: %2 col: %3";
constexpr std::string_view kTooManyAliasNodes =
    "Aliases copy more than 1000000 nodes. Alias \"%1\". At line: %2 col: %3";

// Whole-text word lists, case-sensitive.
bool IsNullWord(std::string_view s) {
  return s.empty() || s == "~" || s == "null" || s == "Null" || s == "NULL";
}

bool IsTrueWord(std::string_view s) {
  switch (s.size()) {
    case 1:
      return s[0] == 'y' || s[0] == 'Y';
    case 2:
      return s == "on" || s == "On" || s == "ON";
    case 3:
      return s == "yes" || s == "Yes" || s == "YES";
    case 4:
      return s == "true" || s == "True" || s == "TRUE";
    default:
      return false;
  }
}

bool IsFalseWord(std::string_view s) {
  switch (s.size()) {
    case 1:
      return s[0] == 'n' || s[0] == 'N';
    case 2:
      return s == "no" || s == "No" || s == "NO";
    case 3:
      return s == "off" || s == "Off" || s == "OFF";
    case 5:
      return s == "false" || s == "False" || s == "FALSE";
    default:
      return false;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An integer literal (optional sign, then decimal digits or "0x" and hex digits) that fits 64
// bits is read exactly rather than through a double, so large ids survive a round trip.
bool ReadExactInteger(std::string_view s, BindingProperty& v) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  unsigned base = 10;
  if (s.size() - i > 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == s.size()) return false;
  uint64_t magnitude = 0;
  if (base == 16) {
    for (; i < s.size(); ++i) {
      int digit = HexDigit(s[i]);
      if (digit < 0 || (magnitude >> 60) != 0) return false;
      magnitude = (magnitude << 4) | static_cast<uint64_t>(digit);
    }
  } else {
    constexpr uint64_t kLimit = UINT64_MAX / 10;
    constexpr uint64_t kLastDigit = UINT64_MAX % 10;
    for (; i < s.size(); ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      uint64_t digit = static_cast<uint64_t>(s[i] - '0');
      if (magnitude > kLimit || (magnitude == kLimit && digit > kLastDigit)) return false;
      magnitude = magnitude * 10 + digit;
    }
  }
  if (!negative || magnitude == 0) {
    // "-0" is a whole number at or above zero, as a double -0.0 would be.
    v.SetUnsigned(magnitude);
    return true;
  }
  if (magnitude > (uint64_t{1} << 63)) return false;
  v.SetSigned(static_cast<int64_t>(0 - magnitude));
  return true;
}

// The number rule for untagged plain scalars: whatever strtod consumes whole, except infinities.
// `text` must be NUL-terminated at `length` (libyaml's scalars are).
bool ReadPlainNumber(const char* text, size_t length, BindingProperty& v) {
  if (length == 0) return false;
  // strtod can only succeed when the text starts with one of these; everything else skips it.
  if (text[0] == '\0' || !std::strchr("0123456789+-.iInN \t\n\v\f\r", text[0])) return false;
  if (ReadExactInteger(std::string_view(text, length), v)) return true;
  // Plain decimal texts take from_chars, which gives the same correctly rounded double as strtod
  // much faster; anything it refuses or leaves unread (hex, "+", spaces, overflow) goes to strtod.
  double d = 0;
  const char* end = nullptr;
  if ((text[0] >= '0' && text[0] <= '9') || text[0] == '-' || text[0] == '.') {
    auto [ptr, error] = std::from_chars(text, text + length, d);
    if (error == std::errc() && ptr == text + length) end = ptr;
  }
  if (end == nullptr) {
    char* strtod_end = nullptr;
    d = std::strtod(text, &strtod_end);
    end = strtod_end;
  }
  if (end != text + length || std::isinf(d)) return false;
  if (std::isnan(d) || d != std::trunc(d)) {
    v.SetFloat(d);
    return true;
  }
  constexpr double kTwo63 = 9223372036854775808.0;
  constexpr double kTwo64 = 18446744073709551616.0;
  if (d < 0) {
    // Below -2^63 no integer holds the value; it stays a float rather than wrapping.
    if (d < -kTwo63) {
      v.SetFloat(d);
    } else {
      v.SetSigned(static_cast<int64_t>(d));
    }
  } else if (d < kTwo63) {
    v.SetUnsigned(static_cast<uint64_t>(d));
  } else if (d < kTwo64) {
    v.SetUnsigned(static_cast<uint64_t>(d - kTwo63) | (uint64_t{1} << 63));
  } else {
    v.SetFloat(d);
  }
  return true;
}

// Tagged numbers go through the type registry's scalar rules, so their messages match every
// other conversion's.
constexpr std::string_view kFieldName = "yaml";

bool TypeTaggedNumber(BindingResult& result, std::string_view tag, std::string_view text,
                      BindingProperty& v) {
  BindingProperty input;
  input.SetString(text);
  if (tag == kFloatTag) {
    double d = AssignDouble(result, input, kFieldName, -1.7976931348623157e308,
                            1.7976931348623157e308, "double");
    if (result.IsOk()) v.SetFloat(d);
  } else if (text.starts_with('-')) {
    int64_t n = AssignSigned(result, input, kFieldName, INT64_MIN, INT64_MAX, "int64_t");
    if (result.IsOk()) v.SetSigned(n);
  } else {
    uint64_t n = AssignUnsigned(result, input, kFieldName, UINT64_MAX, "uint64_t");
    if (result.IsOk()) v.SetUnsigned(n);
  }
  return result.IsOk();
}

struct PathStep {
  bool is_key = false;
  size_t index = 0;
  std::string key;
};

// Where an anchored node sits: one step below its parent's node. Anchors under the same open
// node share its steps, so recording an anchor adds a step only for the levels that no earlier
// anchor recorded while they were open, never a copy of the whole path: many anchors deep in a
// small text stay small.
struct PathNode {
  uint32_t parent = 0;
  bool is_key = false;
  size_t index = 0;
  const std::string* key = nullptr;  // into the reader's key texts, when is_key
};

// The node of the root; it has no step.
constexpr uint32_t kRootNode = 0;
// A frame whose step no anchor has needed yet.
constexpr uint32_t kNoNode = UINT32_MAX;

struct Anchor {
  bool is_key = false;  // placed on a mapping key: an alias of it reads as the key's text
  bool open = false;    // on a sequence or mapping still being read
  std::string key_text;
  uint32_t node = kRootNode;
};

// Counts the nodes of `node` and its height in nested containers, giving up past `budget`.
void Measure(const BindingProperty& node, size_t budget, size_t& count, int& height) {
  ++count;
  height = 0;
  if (count > budget) return;
  int child_height = 0;
  if (node.GetType() == BindingPropertyType::Collection) {
    for (size_t i = 0, n = node.Size(); i < n && count <= budget; ++i) {
      int h = 0;
      Measure(node.At(i), budget, count, h);
      child_height = std::max(child_height, h);
    }
    height = child_height + 1;
  } else if (node.GetType() == BindingPropertyType::Structure) {
    node.ForEachMember([&](std::string_view, const BindingProperty& member) {
      if (count > budget) return;
      int h = 0;
      Measure(member, budget, count, h);
      child_height = std::max(child_height, h);
    });
    height = child_height + 1;
  }
}

class YamlReader {
 public:
  YamlReader(std::string_view text, int max_depth) : text_(text), max_depth_(max_depth) {}

  BindingResult Run() {
    // Owns the parser and the current event, so both are deleted on every way out.
    struct Parser {
      yaml_parser_t parser;
      yaml_event_t event{};
      bool initialized = false;
      ~Parser() {
        yaml_event_delete(&event);
        if (initialized) yaml_parser_delete(&parser);
      }
      bool Next() {
        yaml_event_delete(&event);
        // On failure libyaml leaves the event zeroed, which deletes as nothing.
        return yaml_parser_parse(&parser, &event) != 0;
      }
    } p;
    p.initialized = yaml_parser_initialize(&p.parser) != 0;
    if (!p.initialized) {
      result_.SetError(FormatMessage(kParserError, "out of memory", 0, 0));
      return std::move(result_);
    }
    yaml_parser_set_input_string(&p.parser, reinterpret_cast<const unsigned char*>(text_.data()),
                                 text_.size());
    yaml_parser_set_encoding(&p.parser, YAML_UTF8_ENCODING);
    ResetToRoot();
    bool parsed = p.Next();
    while (parsed && p.event.type != YAML_STREAM_END_EVENT && HandleEvent(p.event)) {
      parsed = p.Next();
    }
    if (!parsed) {
      const yaml_parser_t& parser = p.parser;
      yaml_mark_t mark = parser.problem_mark;
      // libyaml's decoder (ill-formed UTF-8, control characters) gives only a byte offset.
      if (parser.error == YAML_READER_ERROR) mark = MarkAt(parser.problem_offset);
      result_.SetError(FormatMessage(kParserError, parser.problem ? parser.problem : "unknown",
                                     static_cast<uint64_t>(mark.line),
                                     static_cast<uint64_t>(mark.column)));
    }
    return std::move(result_);
  }

 private:
  struct Frame {
    BindingProperty* target = nullptr;
    Anchor* anchor = nullptr;  // an anchor placed on this open sequence or mapping
    PathStep step;             // how the target is reached from its parent (unused at the root)
    uint32_t node = kNoNode;   // the step's entry in path_nodes_, once an anchor needed it
  };

  void ResetToRoot() {
    if (frames_.empty()) frames_.resize(16);
    frames_[0].target = &result_.value;
    frames_[0].anchor = nullptr;
    frames_[0].node = kRootNode;
    path_nodes_.assign(1, PathNode{});
    keys_.clear();
    depth_count_ = 1;
    has_pending_key_ = false;
    open_containers_ = 0;
  }

  Frame& Push(BindingProperty* target) {
    if (depth_count_ == frames_.size()) frames_.resize(frames_.size() * 2);
    Frame& frame = frames_[depth_count_++];
    frame.target = target;
    frame.anchor = nullptr;
    frame.node = kNoNode;
    return frame;
  }

  // The text of the key just read in the innermost mapping, kept in the frame slot its value
  // will take.
  std::string& PendingKey() {
    if (depth_count_ == frames_.size()) frames_.resize(frames_.size() * 2);
    return frames_[depth_count_].step.key;
  }

  // The root frame stays: a document's root is its last node, and a following empty document
  // may still fill it.
  void Pop() {
    Frame& frame = frames_[depth_count_ - 1];
    if (frame.anchor) {
      frame.anchor->open = false;
      frame.anchor = nullptr;
    }
    if (depth_count_ > 1) --depth_count_;
  }

  bool Fail(std::string message) {
    result_.SetError(message);
    return false;
  }

  // The line and column of byte `offset`, counted from 0 as libyaml counts them: columns in
  // characters, and CR LF, CR, LF, U+0085, U+2028 and U+2029 each end a line.
  yaml_mark_t MarkAt(size_t offset) const {
    yaml_mark_t mark{};
    const auto* bytes = reinterpret_cast<const unsigned char*>(text_.data());
    const size_t size = text_.size();
    const size_t end = std::min(offset, size);
    for (size_t i = 0; i < end; ++i) {
      const unsigned char c = bytes[i];
      if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n') continue;  // ends at its LF
      bool line_break = c == '\n' || c == '\r';
      if (c == 0xC2 && i + 1 < end && bytes[i + 1] == 0x85) {
        line_break = true;
      } else if (c == 0xE2 && i + 2 < end && bytes[i + 1] == 0x80 &&
                 (bytes[i + 2] == 0xA8 || bytes[i + 2] == 0xA9)) {
        line_break = true;
      }
      if (line_break) {
        ++mark.line;
        mark.column = 0;
        i += c == 0xC2 ? 1 : c == 0xE2 ? 2 : 0;
      } else if ((c & 0xC0) != 0x80) {
        ++mark.column;
      }
    }
    mark.index = end;
    return mark;
  }

  static uint64_t Line(const yaml_event_t& e) { return e.start_mark.line + 1; }
  static uint64_t Column(const yaml_event_t& e) { return e.start_mark.column + 1; }

  // The path node of the innermost frame, recording the steps of open frames that have none.
  uint32_t CurrentNode() {
    size_t first = depth_count_ - 1;
    while (frames_[first].node == kNoNode) --first;  // the root always has its node
    for (size_t i = first + 1; i < depth_count_; ++i) {
      const PathStep& step = frames_[i].step;
      PathNode node;
      node.parent = frames_[i - 1].node;
      node.is_key = step.is_key;
      node.index = step.index;
      if (step.is_key) node.key = &*keys_.insert(step.key).first;
      frames_[i].node = static_cast<uint32_t>(path_nodes_.size());
      path_nodes_.push_back(node);
    }
    return frames_[depth_count_ - 1].node;
  }

  // The steps from the root to `node`, root side first, into steps_.
  const std::vector<uint32_t>& StepsTo(uint32_t node) {
    steps_.clear();
    for (uint32_t n = node; n != kRootNode; n = path_nodes_[n].parent) steps_.push_back(n);
    std::reverse(steps_.begin(), steps_.end());
    return steps_;
  }

  // Records an anchor on a key (key_text set) or on the node of the innermost frame.
  Anchor* RecordAnchor(const yaml_event_t& e, const char* name, const std::string* key_text) {
    auto [it, inserted] = anchors_.try_emplace(name);
    if (!inserted) {
      Fail(FormatMessage(kDuplicateAnchor, name, Line(e), Column(e)));
      return nullptr;
    }
    Anchor& anchor = it->second;
    if (key_text) {
      anchor.is_key = true;
      anchor.key_text = *key_text;
    } else {
      anchor.node = CurrentNode();
    }
    return &anchor;
  }

  bool HandleEvent(const yaml_event_t& e) {
    switch (e.type) {
      case YAML_STREAM_START_EVENT:
      case YAML_DOCUMENT_END_EVENT:
        return true;
      case YAML_DOCUMENT_START_EVENT:
        if (!result_.value.IsEmpty()) return Fail(std::string(kMultiDocument));
        // Anchors name nodes of their own document only.
        anchors_.clear();
        ResetToRoot();
        return true;
      default:
        break;
    }

    bool is_end = e.type == YAML_SEQUENCE_END_EVENT || e.type == YAML_MAPPING_END_EVENT;
    bool pushed = false;
    if (!is_end) {
      BindingProperty& parent = *frames_[depth_count_ - 1].target;
      if (parent.GetType() == BindingPropertyType::Collection) {
        size_t index = parent.Size();
        Frame& frame = Push(&parent.Append());
        frame.step.is_key = false;
        frame.step.index = index;
        pushed = true;
      } else if (parent.GetType() == BindingPropertyType::Structure && has_pending_key_) {
        // The key was read into the slot this frame takes, so it is not copied again.
        Frame& frame = Push(&parent.Field(PendingKey()));
        frame.step.is_key = true;
        has_pending_key_ = false;
        pushed = true;
      }
    }
    Frame& frame = frames_[depth_count_ - 1];
    BindingProperty& target = *frame.target;
    // A node met inside a mapping with no key waiting is itself a key. Only this case is a key:
    // a repeated key's value lands on the member it already has, whatever kind that holds.
    bool key_position = !pushed && target.GetType() == BindingPropertyType::Structure;

    switch (e.type) {
      case YAML_SCALAR_EVENT:
        return key_position ? OnKey(e) : OnValue(e, target);
      case YAML_SEQUENCE_START_EVENT:
      case YAML_MAPPING_START_EVENT: {
        bool sequence = e.type == YAML_SEQUENCE_START_EVENT;
        if (key_position) {
          return Fail(FormatMessage(sequence ? kUnexpectedSequence : kUnexpectedMapping, Line(e),
                                    Column(e)));
        }
        if (++open_containers_ > max_depth_) {
          return Fail(FormatMessage(kTooDeep, max_depth_, Line(e), Column(e)));
        }
        // An existing collection or structure keeps its content: a repeated key appends to the
        // earlier sequence or merges into the earlier mapping.
        if (sequence) {
          target.MakeCollection();
        } else {
          target.MakeStructure();
        }
        const yaml_char_t* anchor =
            sequence ? e.data.sequence_start.anchor : e.data.mapping_start.anchor;
        if (anchor) {
          Anchor* recorded = RecordAnchor(e, reinterpret_cast<const char*>(anchor), nullptr);
          if (!recorded) return false;
          recorded->open = true;
          frame.anchor = recorded;
        }
        return true;
      }
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        --open_containers_;
        Pop();
        return true;
      case YAML_ALIAS_EVENT:
        return OnAlias(e, target, key_position);
      default:
        return true;
    }
  }

  bool OnKey(const yaml_event_t& e) {
    const auto& s = e.data.scalar;
    if (s.tag && reinterpret_cast<const char*>(s.tag) != kStrTag) {
      return Fail(FormatMessage(kInvalidKey, Line(e), Column(e)));
    }
    std::string& key = PendingKey();
    key.assign(reinterpret_cast<const char*>(s.value), s.length);
    has_pending_key_ = true;
    if (s.anchor) {
      return RecordAnchor(e, reinterpret_cast<const char*>(s.anchor), &key) != nullptr;
    }
    return true;
  }

  bool OnValue(const yaml_event_t& e, BindingProperty& target) {
    const auto& s = e.data.scalar;
    if (!TypeScalar(s, target)) return false;
    if (s.anchor && !RecordAnchor(e, reinterpret_cast<const char*>(s.anchor), nullptr)) {
      return false;
    }
    Pop();
    return true;
  }

  bool TypeScalar(const decltype(yaml_event_t::data.scalar)& s, BindingProperty& v) {
    const char* text = reinterpret_cast<const char*>(s.value);
    std::string_view view(text, s.length);
    if (s.tag) {
      std::string_view tag(reinterpret_cast<const char*>(s.tag));
      if (tag == kStrTag) {
        v.SetString(view);
      } else if (tag == kIntTag || tag == kFloatTag) {
        return TypeTaggedNumber(result_, tag, view, v);
      } else if (tag == kBoolTag) {
        if (IsTrueWord(view)) {
          v.SetBool(true);
        } else if (IsFalseWord(view)) {
          v.SetBool(false);
        }
      } else {
        return Fail(FormatMessage(kUnsupportedTag, tag));
      }
      return true;
    }
    if (s.style == YAML_SINGLE_QUOTED_SCALAR_STYLE || s.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
      v.SetString(view);
    } else if (IsNullWord(view)) {
      v.Reset();
    } else if (ReadPlainNumber(text, s.length, v)) {
    } else if (IsTrueWord(view)) {
      v.SetBool(true);
    } else if (IsFalseWord(view)) {
      v.SetBool(false);
    } else {
      v.SetString(view);
    }
    return true;
  }

  const BindingProperty& NodeAt(uint32_t path_node) {
    const BindingProperty* node = &result_.value;
    for (uint32_t n : StepsTo(path_node)) {
      const PathNode& step = path_nodes_[n];
      node = step.is_key ? &node->Find(*step.key) : &node->At(step.index);
    }
    return *node;
  }

  bool OnAlias(const yaml_event_t& e, BindingProperty& target, bool key_position) {
    const char* name = reinterpret_cast<const char*>(e.data.alias.anchor);
    auto it = anchors_.find(name);
    if (it != anchors_.end() && it->second.open) {
      return Fail(FormatMessage(kCyclicAlias, name, Line(e), Column(e)));
    }
    if (it == anchors_.end()) {
      return Fail(FormatMessage(kUndefinedAlias, name, Line(e), Column(e)));
    }
    const Anchor& anchor = it->second;
    if (key_position) {
      // An alias used as a key stands for the key text it names; only texts can be keys.
      if (anchor.is_key) {
        PendingKey() = anchor.key_text;
      } else {
        const BindingProperty& node = NodeAt(anchor.node);
        if (node.GetType() != BindingPropertyType::String) {
          return Fail(FormatMessage(kInvalidKey, Line(e), Column(e)));
        }
        PendingKey().assign(node.GetString());
      }
      has_pending_key_ = true;
      return true;
    }
    if (anchor.is_key) {
      target.SetString(anchor.key_text);
      Pop();
      return true;
    }
    const BindingProperty& source = NodeAt(anchor.node);
    size_t count = 0;
    int height = 0;
    Measure(source, kMaxYamlAliasNodes - alias_nodes_, count, height);
    if (count > kMaxYamlAliasNodes - alias_nodes_) {
      return Fail(FormatMessage(kTooManyAliasNodes, name, Line(e), Column(e)));
    }
    if (open_containers_ + height > max_depth_) {
      return Fail(FormatMessage(kTooDeep, max_depth_, Line(e), Column(e)));
    }
    alias_nodes_ += count;
    if (Overlaps(anchor.node)) {
      // The source contains the target or lies inside it (a repeated key reaches back into its
      // own earlier value): copy it out first, so the assignment never reads what it frees.
      BindingProperty copy(source);
      target = std::move(copy);
    } else {
      target = source;
    }
    Pop();
    return true;
  }

  // True when one of the path to `path_node` and the innermost frame's path is a prefix of the
  // other.
  bool Overlaps(uint32_t path_node) {
    const std::vector<uint32_t>& steps = StepsTo(path_node);
    size_t n = std::min(steps.size(), depth_count_ - 1);
    for (size_t i = 0; i < n; ++i) {
      const PathNode& step = path_nodes_[steps[i]];
      const PathStep& open = frames_[i + 1].step;
      if (step.is_key != open.is_key) return false;
      if (step.is_key ? *step.key != open.key : step.index != open.index) return false;
    }
    return true;
  }

  std::string_view text_;
  int max_depth_;
  BindingResult result_;
  std::vector<Frame> frames_;
  size_t depth_count_ = 0;  // frames in use; frames_ keeps its slots to reuse their strings
  int open_containers_ = 0;
  bool has_pending_key_ = false;
  std::unordered_map<std::string, Anchor> anchors_;
  std::vector<PathNode> path_nodes_;      // [kRootNode] is the root
  std::unordered_set<std::string> keys_;  // the key texts of path_nodes_, once each
  std::vector<uint32_t> steps_;           // scratch of StepsTo
  size_t alias_nodes_ = 0;
};

}  // namespace

BindingResult ParseYaml(std::string_view text, int max_depth) {
  // Allocation failures on huge inputs come back as a result like every other failure.
  try {
    return YamlReader(text, max_depth).Run();
  } catch (const std::exception& e) {
    return BindingResult::Error(std::string("YAML reader failed: ") + e.what());
  }
}

BindingResult LoadYamlFile(std::string_view path) {
  std::string contents;
  FileStatus status = ReadWholeFile(path, contents);
  if (!status.IsOk()) return BindingResult::Error(status.Message());
  return ParseYaml(contents, kMaxYamlFileDepth);
}

}  // namespace Varn
