// The boundary value form: a tree of plain cells that crosses the host interface. Every text,
// byte array and cell array a cell owns comes from the accounted heap (heap.h), so either side
// can release what the other filled. All three conversions walk explicit stacks, so depth does
// not bound them.
#include <cstring>
#include <new>
#include <string>

#include "binding/binding_property.h"
#include "binding/heap.h"
#include "binding/small_stack.h"

namespace Varn {
namespace {

constexpr std::string_view kIncompatibleKindPrefix = "Couldn't assign value to '";
constexpr std::string_view kIncompatibleKindMiddle =
    "' of type object because the input is of "
    "an incompatible type '";
constexpr std::string_view kIncompatibleKindSuffix = "'.";

void* AllocateOrThrow(size_t size) {
  void* block = HeapAllocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

PluginCell EmptyCell() {
  PluginCell cell;
  std::memset(&cell, 0, sizeof cell);
  return cell;
}

struct ToPair {
  const BindingProperty* value;
  PluginCell* cell;
};

// Fills `cell` for `value`; containers get their (Empty) cell arrays at once and queue their
// children. The cell is complete before anything that can fail, so a refused allocation leaves
// a tree that ReleaseBoundary can free.
void FillCell(const BindingProperty& value, const BindingEnumNames* names, PluginCell* cell,
              SmallStack<ToPair>& queue) {
  PluginCell out = EmptyCell();
  switch (value.GetType()) {
    case BindingPropertyType::Empty:
      break;
    case BindingPropertyType::Bool:
      out.kind = PLUGIN_CELL_BOOL;
      out.payload.boolean = value.GetBool() ? 1 : 0;
      break;
    case BindingPropertyType::Signed:
      out.kind = PLUGIN_CELL_SIGNED;
      out.payload.i64 = value.GetSigned();
      break;
    case BindingPropertyType::Unsigned:
      out.kind = PLUGIN_CELL_UNSIGNED;
      out.payload.u64 = value.GetUnsigned();
      break;
    case BindingPropertyType::Float:
      out.kind = PLUGIN_CELL_FLOAT;
      out.payload.f64 = value.GetFloat();
      break;
    case BindingPropertyType::String: {
      const std::string_view text = value.GetString();
      char* copy = HeapDuplicateString(text.data(), text.size());
      if (copy == nullptr) throw std::bad_alloc();
      out.kind = PLUGIN_CELL_STRING;
      out.payload.string.text = copy;
      out.payload.string.length = text.size();
      break;
    }
    case BindingPropertyType::Blob: {
      const std::span<const uint8_t> bytes = value.GetBlob();
      auto* copy = static_cast<uint8_t*>(AllocateOrThrow(bytes.size()));
      if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
      out.kind = PLUGIN_CELL_BLOB;
      out.payload.blob.bytes = copy;
      out.payload.blob.length = bytes.size();
      break;
    }
    case BindingPropertyType::Enum: {
      const BindingEnumValue enumerator = value.GetEnum();
      const char* name = names != nullptr ? names->EnumValueName(enumerator) : nullptr;
      if (name != nullptr) {
        const size_t length = std::strlen(name);
        char* copy = HeapDuplicateString(name, length);
        if (copy == nullptr) throw std::bad_alloc();
        out.kind = PLUGIN_CELL_STRING;
        out.payload.string.text = copy;
        out.payload.string.length = length;
      } else {
        out.kind = PLUGIN_CELL_SIGNED;
        out.payload.i64 = enumerator.value;
      }
      break;
    }
    case BindingPropertyType::Collection: {
      const size_t count = value.Size();
      PluginCell* cells = nullptr;
      if (count != 0) {
        cells = static_cast<PluginCell*>(AllocateOrThrow(count * sizeof(PluginCell)));
        for (size_t i = 0; i < count; ++i) cells[i] = EmptyCell();
      }
      out.kind = PLUGIN_CELL_COLLECTION;
      out.payload.collection.cells = cells;
      out.payload.collection.count = count;
      *cell = out;
      for (size_t i = 0; i < count; ++i) queue.push({&value.At(i), &cells[i]});
      return;
    }
    case BindingPropertyType::Structure: {
      const size_t count = value.Size();
      PluginStructEntry* entries = nullptr;
      if (count != 0) {
        entries =
            static_cast<PluginStructEntry*>(AllocateOrThrow(count * sizeof(PluginStructEntry)));
        std::memset(static_cast<void*>(entries), 0, count * sizeof(PluginStructEntry));
      }
      out.kind = PLUGIN_CELL_STRUCTURE;
      out.payload.structure.entries = entries;
      out.payload.structure.count = count;
      *cell = out;
      // The fill order of the members does not matter: nothing but a refused allocation stops
      // it, and that releases the whole tree.
      size_t i = 0;
      value.ForEachMember([&](std::string_view key, const BindingProperty& member) {
        char* copy = HeapDuplicateString(key.data(), key.size());
        if (copy == nullptr) throw std::bad_alloc();
        entries[i].key = copy;
        entries[i].keyOwned = 1;
        queue.push({&member, &entries[i].value});
        ++i;
      });
      return;
    }
  }
  *cell = out;
}

}  // namespace

const char* CellKindName(uint32_t kind) {
  switch (kind) {
    case PLUGIN_CELL_BOOL:
      return "bool";
    case PLUGIN_CELL_SIGNED:
      return "signed";
    case PLUGIN_CELL_UNSIGNED:
      return "unsigned";
    case PLUGIN_CELL_FLOAT:
      return "float";
    case PLUGIN_CELL_STRING_REF:
    case PLUGIN_CELL_STRING:
      return "string";
    case PLUGIN_CELL_BLOB_REF:
    case PLUGIN_CELL_BLOB:
      return "blob";
    case PLUGIN_CELL_COLLECTION:
      return "collection";
    case PLUGIN_CELL_STRUCTURE:
      return "structure";
    default:
      return "";
  }
}

void BindingProperty::ToBoundary(const BindingProperty& value, const BindingEnumNames* names,
                                 PluginCell& cell) {
  cell = EmptyCell();
  SmallStack<ToPair> queue;
  try {
    FillCell(value, names, &cell, queue);
    while (!queue.empty()) {
      const ToPair pair = queue.pop();
      FillCell(*pair.value, names, pair.cell, queue);
    }
  } catch (...) {
    ReleaseBoundary(cell);
    throw;
  }
}

void BindingProperty::ReleaseBoundary(PluginCell& cell) {
  // Cells are copied onto the stack before their array goes, so children outlive their parent's
  // storage only as copies.
  SmallStack<PluginCell> pending;
  pending.push(cell);
  cell = EmptyCell();
  while (!pending.empty()) {
    const PluginCell item = pending.pop();
    switch (item.kind) {
      case PLUGIN_CELL_STRING:
        HeapFree(const_cast<char*>(item.payload.string.text));
        break;
      case PLUGIN_CELL_BLOB:
        HeapFree(const_cast<uint8_t*>(item.payload.blob.bytes));
        break;
      case PLUGIN_CELL_COLLECTION: {
        PluginCell* cells = item.payload.collection.cells;
        if (cells == nullptr) break;
        for (size_t i = 0; i < item.payload.collection.count; ++i) pending.push(cells[i]);
        HeapFree(cells);
        break;
      }
      case PLUGIN_CELL_STRUCTURE: {
        PluginStructEntry* entries = item.payload.structure.entries;
        if (entries == nullptr) break;
        for (size_t i = 0; i < item.payload.structure.count; ++i) {
          if (entries[i].keyOwned) HeapFree(const_cast<char*>(entries[i].key));
          pending.push(entries[i].value);
        }
        HeapFree(entries);
        break;
      }
      default:
        break;
    }
  }
}

bool BindingProperty::FromBoundary(PluginBoundaryResult& result, BindingProperty& target,
                                   const PluginCell& cell, std::string_view field_name) {
  struct FromPair {
    const PluginCell* cell;
    BindingProperty* target;
    const char* name;
    size_t nameLength;
  };
  SmallStack<FromPair> queue;
  queue.push({&cell, &target, field_name.data(), field_name.size()});
  while (!queue.empty()) {
    const FromPair pair = queue.pop();
    const PluginCell& from = *pair.cell;
    BindingProperty& to = *pair.target;
    switch (from.kind) {
      case PLUGIN_CELL_EMPTY:
        to.Reset();
        break;
      case PLUGIN_CELL_BOOL:
        to.SetBool(from.payload.boolean != 0);
        break;
      case PLUGIN_CELL_SIGNED:
        to.SetSigned(from.payload.i64);
        break;
      case PLUGIN_CELL_UNSIGNED:
        to.SetUnsigned(from.payload.u64);
        break;
      case PLUGIN_CELL_FLOAT:
        to.SetFloat(from.payload.f64);
        break;
      case PLUGIN_CELL_STRING_REF:
      case PLUGIN_CELL_STRING: {
        const char* text = from.payload.string.text;
        to.SetString(text != nullptr ? std::string_view(text) : std::string_view());
        break;
      }
      case PLUGIN_CELL_BLOB_REF:
      case PLUGIN_CELL_BLOB: {
        const uint8_t* bytes = from.payload.blob.bytes;
        to.SetBlob(bytes != nullptr ? std::span<const uint8_t>(bytes, from.payload.blob.length)
                                    : std::span<const uint8_t>());
        break;
      }
      case PLUGIN_CELL_COLLECTION: {
        const PluginCell* cells = from.payload.collection.cells;
        const size_t count = cells != nullptr ? from.payload.collection.count : 0;
        to.MakeCollection();
        to.Reserve(count);
        if (count != 0) to.At(count - 1);  // every element exists before any is queued
        for (size_t i = count; i-- > 0;) {
          queue.push({&cells[i], &to.At(i), pair.name, pair.nameLength});
        }
        break;
      }
      case PLUGIN_CELL_STRUCTURE: {
        const PluginStructEntry* entries = from.payload.structure.entries;
        const size_t count = entries != nullptr ? from.payload.structure.count : 0;
        to.MakeStructure();
        // Queued in reverse so that the stack converts the entries in order and the first
        // incompatible cell in entry order is the one reported. Member nodes never move, so
        // the queued targets stay valid.
        for (size_t i = count; i-- > 0;) {
          const char* key = entries[i].key != nullptr ? entries[i].key : "";
          queue.push({&entries[i].value, &to.Field(key), key, std::strlen(key)});
        }
        break;
      }
      default: {
        ReleaseBoundary(result.value);
        std::string message;
        message.append(kIncompatibleKindPrefix);
        message.append(pair.name, pair.nameLength);
        message.append(kIncompatibleKindMiddle);
        message.append(CellKindName(from.kind));
        message.append(kIncompatibleKindSuffix);
        HeapFree(result.errorText);
        result.errorText = HeapDuplicateString(message.data(), message.size());
        result.failed = 1;
        return false;
      }
    }
  }
  return true;
}

}  // namespace Varn
