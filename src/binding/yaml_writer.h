// The YAML writer: turns a BindingProperty tree into block-style YAML text on libyaml's emitter,
// and saves it to a file. Strings and blobs (as base64) are double-quoted, everything else is
// plain where libyaml allows it, floats print as "%f", and no tag or anchor is ever written.
#ifndef ZEK_BINDING_YAML_WRITER_H_
#define ZEK_BINDING_YAML_WRITER_H_

#include <string>
#include <string_view>

#include "binding/binding_property.h"
#include "binding/file_system.h"

namespace Varn {

// Returns the YAML text of `value`, indented by 4 with no line width limit. `enum_names` (may be
// null) writes enumerators by name; `line_break` starting with "\r\n", "\r" or "\n" picks the
// line ends; `explicit_document_start` writes "---" first. An Empty value gives an empty text,
// and so does a value libyaml cannot write (a string that is not valid UTF-8).
std::string WriteYaml(const BindingProperty& value, const BindingEnumNames* enum_names = nullptr,
                      std::string_view line_break = "\n", bool explicit_document_start = false);

// Writes WriteYaml's text to `path`, replacing the file as a whole (see WriteFileAtomically).
// Fails with "Failed to serialize BindingProperty." when the text is empty, leaving no file.
FileStatus SaveYamlFile(std::string_view path, const BindingProperty& value,
                        const BindingEnumNames* enum_names = nullptr,
                        std::string_view line_break = "\n", bool explicit_document_start = false);

}  // namespace Varn

#endif  // ZEK_BINDING_YAML_WRITER_H_
