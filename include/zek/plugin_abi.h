/* The host boundary of zek plugins: every record and function table that crosses between a host
 * process and a plugin library. Plain C (C99 and C++); words that hold pointers, and the lengths
 * and counts paired with them, are pointer-sized; the records marked packed have no padding. */
#ifndef ZEK_PLUGIN_ABI_H_
#define ZEK_PLUGIN_ABI_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Boundary value form ------------------------------------------------------------------ */

/* Kinds of a PluginCell. The "owned" kinds own their text, bytes or array: the side that filled
 * the cell frees it, through the release function of the record that carries the cell. The
 * "ref" kinds point at memory the sender keeps alive for the duration of the call. */
enum PluginCellKind {
  PLUGIN_CELL_EMPTY = 0,
  PLUGIN_CELL_BOOL = 1,
  PLUGIN_CELL_SIGNED = 2,
  PLUGIN_CELL_UNSIGNED = 3,
  PLUGIN_CELL_FLOAT = 4,
  PLUGIN_CELL_STRING_REF = 5,
  PLUGIN_CELL_STRING = 6,
  PLUGIN_CELL_BLOB_REF = 7,
  PLUGIN_CELL_BLOB = 8,
  PLUGIN_CELL_COLLECTION = 9,
  PLUGIN_CELL_STRUCTURE = 10
};

struct PluginStructEntry;

#pragma pack(push, 1)

/* One value. Kind at offset 0, payload at offset 4. Strings are NUL-terminated; their length
 * word counts bytes without the NUL. */
typedef struct PluginCell {
  uint32_t kind;
  union {
    uint8_t boolean;
    int64_t i64;
    uint64_t u64;
    double f64;
    struct {
      const char* text;
      size_t length;
    } string;
    struct {
      const uint8_t* bytes;
      size_t length;
    } blob;
    struct {
      struct PluginCell* cells;
      size_t count;
    } collection;
    struct {
      struct PluginStructEntry* entries;
      size_t count;
    } structure;
  } payload;
} PluginCell;

/* A structure member. keyOwned is 1 when the entry owns the key text. */
typedef struct PluginStructEntry {
  const char* key;
  PluginCell value;
  uint8_t keyOwned;
} PluginStructEntry;

/* A value or an error. errorText is owned by the record and null when there is none. */
typedef struct PluginBoundaryResult {
  PluginCell value;
  char* errorText;
  uint8_t failed;
} PluginBoundaryResult;

#pragma pack(pop)

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZEK_PLUGIN_ABI_H_ */
