// RenderCellJson: a value in the boundary form (PluginCell) as JSON text. The host renders every
// plugin answer with it, so it depends on nothing but the C boundary header and RapidJSON.
#ifndef ZEK_HOST_CELL_JSON_CELL_JSON_RENDERER_H_
#define ZEK_HOST_CELL_JSON_CELL_JSON_RENDERER_H_

#include <string>

#include "zek/plugin_abi.h"

namespace Varn {

enum class CellJsonStyle {
  kCompact,  // one line, no spaces
  kPretty,   // members and elements on their own lines, indented by two spaces
};

// Renders `cell`: empty as null; bool, signed and unsigned as themselves; floats in the shortest
// form that reads back as the same double, always with a fraction or exponent so they stay
// floats (NaN and infinities, which JSON cannot hold, as null); strings escaped, invalid UTF-8
// replaced by U+FFFD; blobs as base64 strings; collections as arrays; structures as objects in
// entry order. A cell of an unknown kind renders as null. Never fails; walks iteratively, so
// any nesting depth is safe. The cell is only read.
std::string RenderCellJson(const PluginCell& cell, CellJsonStyle style = CellJsonStyle::kCompact);

}  // namespace Varn

#endif  // ZEK_HOST_CELL_JSON_CELL_JSON_RENDERER_H_
