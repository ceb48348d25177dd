// The YAML reader: turns one YAML document into a BindingProperty tree. Plain scalars are typed
// (null words, numbers, bool words), quoted scalars are strings, and the tags !!str, !!int,
// !!float and !!bool force a type. Anchors and aliases are resolved by deep copy.
#ifndef ZEK_BINDING_YAML_READER_H_
#define ZEK_BINDING_YAML_READER_H_

#include <string_view>

#include "binding/binding_property.h"

namespace Varn {

// Sequences and mappings nested deeper than this are refused before libyaml reads further.
inline constexpr int kMaxYamlDepth = 1000;
// A preferences file nests each category's data two levels below its root (category name, then
// the record's "data"), so a file saved from the deepest body a request may carry is this deep.
inline constexpr int kMaxYamlFileDepth = kMaxYamlDepth + 2;
// Nodes that aliases may copy in one parse, so that nested aliases cannot multiply a small text
// into an unbounded tree.
inline constexpr size_t kMaxYamlAliasNodes = 1000000;

// Parses `text` (UTF-8). An empty text or one of only comments gives an ok Empty value. A
// failure carries the first error's message; the partly built tree is dropped. Text that is
// not well-formed UTF-8 fails with libyaml's message and the position of the first ill-formed
// byte. Containers nested deeper than `max_depth` fail.
BindingResult ParseYaml(std::string_view text, int max_depth = kMaxYamlDepth);

// Reads the whole file and parses it, allowing kMaxYamlFileDepth levels. Fails with
// "Couldn't open file: <path>" when the file cannot be opened.
BindingResult LoadYamlFile(std::string_view path);

}  // namespace Varn

#endif  // ZEK_BINDING_YAML_READER_H_
