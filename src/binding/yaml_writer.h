// The YAML writer: turns a BindingProperty tree into block-style YAML text on libyaml's emitter,
// and saves it to a file. Strings and blobs (as base64) are double-quoted, everything else is
// plain where libyaml allows it, floats print in fixed notation, and no tag or anchor is ever
// written. Every tree it writes reads back through ParseYaml with equal values, up to the YAML
// kinds: a whole float or a Signed at or above zero reads as Unsigned, inf as a string, a blob as
// its base64 text, an enum as its name or number.
#ifndef ZEK_BINDING_YAML_WRITER_H_
#define ZEK_BINDING_YAML_WRITER_H_

#include <string>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/file_system.h"

namespace Varn {

// Returns the YAML text of `value`, indented by 4 with no line width limit. `enum_names` (may be
// null) writes enumerators by name; `line_break` starting with "\r\n", "\r" or "\n" picks the
// line ends; `explicit_document_start` writes "---" first. A float prints as "%f" does (six
// decimals) when that text reads back as the same double, else as the shortest fixed-notation
// text that does. An Empty value gives an empty text, and so does a value that holds a string
// or key that is not well-formed UTF-8.
std::string WriteYaml(const BindingProperty& value, const BindingEnumNames* enum_names = nullptr,
                      std::string_view line_break = "\n", bool explicit_document_start = false);

// Writes WriteYaml's text to `path`, replacing the file as a whole (see WriteFileAtomically).
// Fails with "Failed to serialize BindingProperty." when the text is empty, leaving no file.
// A success may carry WriteFileAtomically's warning (the folder sync failed), for the caller to
// log.
FileStatus SaveYamlFile(std::string_view path, const BindingProperty& value,
                        const BindingEnumNames* enum_names = nullptr,
                        std::string_view line_break = "\n", bool explicit_document_start = false);

}  // namespace Varn

#endif  // ZEK_BINDING_YAML_WRITER_H_
