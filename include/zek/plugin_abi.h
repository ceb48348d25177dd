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

/* ---- Versions, codes and kinds ------------------------------------------------------------ */

/* The plugin API version this header describes; a core is compatible when its major is equal and
 * its minor.patch is at least ours. */
#define PLUGIN_API_VERSION_MAJOR 18u
#define PLUGIN_API_VERSION_MINOR 0u
#define PLUGIN_API_VERSION_PATCH 0u

/* Request methods. PLUGIN_METHOD_CALL calls a function by the name in PluginRequest.functionName.
 * Any other code means none. */
enum PluginMethod {
  PLUGIN_METHOD_NONE = 0,
  PLUGIN_METHOD_DELETE = 1,
  PLUGIN_METHOD_GET = 2,
  PLUGIN_METHOD_HEAD = 3,
  PLUGIN_METHOD_OPTIONS = 4,
  PLUGIN_METHOD_PATCH = 5,
  PLUGIN_METHOD_POST = 6,
  PLUGIN_METHOD_PUT = 7,
  PLUGIN_METHOD_CALL = 8
};

/* How a response's value was encoded by the callee before it became a cell. */
enum PluginResultEncoding {
  PLUGIN_ENCODING_NONE = 0,
  PLUGIN_ENCODING_JSON = 1,
  PLUGIN_ENCODING_YAML = 2,
  PLUGIN_ENCODING_MSGPACK = 3
};

/* What a listener receives: resource events, or service-proxy messages relayed by the host. */
enum PluginListenerKind { PLUGIN_LISTENER_RESOURCE = 0, PLUGIN_LISTENER_SERVICE_PROXY = 1 };

/* What a host operation answers. An operation a host does not offer answers NOT_SUPPORTED and has
 * no effect; callers that need the operation treat that as a failure. */
enum PluginHostStatus { PLUGIN_HOST_OK = 0, PLUGIN_HOST_NOT_SUPPORTED = 1 };

/* ---- Requests and responses --------------------------------------------------------------- */

#pragma pack(push, 1)

/* A named argument of a request. Owned by the request's sender for the duration of the call. */
typedef struct PluginNamedArgument {
  const char* name;
  PluginCell value;
} PluginNamedArgument;

#pragma pack(pop)

/* A header: two NUL-terminated strings, owned by whoever owns the array that holds the pair. */
typedef struct PluginHeader {
  const char* name;
  const char* value;
} PluginHeader;

/* A call of one function. Filled by the caller and owned by it for the duration of the call; the
 * callee copies what it keeps. The path may carry "?" and a query string. */
typedef struct PluginRequest {
  uint32_t method; /* enum PluginMethod */
  const char* path;
  const PluginNamedArgument* arguments;
  size_t argumentCount;
  uintptr_t reserved; /* 0 */
  const PluginHeader* headers;
  size_t headerCount;
  const char* contentType; /* of the body; null or "" when there is none */
  const uint8_t* body;
  size_t bodyLength;
  uint32_t callerHandle;
  const char* functionName; /* for PLUGIN_METHOD_CALL, else null */
} PluginRequest;

/* Reads up to `capacity` bytes of a streamed body into `buffer`. Returns 1 on success with the
 * byte count in *length and *more 1 while more is to come; 0 on a read error. */
typedef uint8_t (*PluginStreamReadFunction)(void* stream, uint8_t* buffer, size_t capacity,
                                            size_t* length, uint8_t* more);
typedef void (*PluginStreamReleaseFunction)(void* stream);

struct PluginResponse;
typedef void (*PluginResponseReleaseFunction)(struct PluginResponse* response);

#pragma pack(push, 1)

/* The answer to a request, filled by the callee. Everything it points at (result cell, error and
 * reply texts, headers, stream) belongs to the callee until the caller calls `release` with the
 * record, once, when it is done; a zeroed record has nothing to release (release is null). */
typedef struct PluginResponse {
  PluginBoundaryResult result;
  uint8_t resultFlag;
  uint32_t encoding; /* enum PluginResultEncoding */
  uint32_t status;   /* HTTP meaning */
  const char* replyText;
  const PluginHeader* headers;
  size_t headerCount;
  PluginStreamReadFunction streamRead; /* null unless the body is streamed */
  PluginStreamReleaseFunction streamRelease;
  uintptr_t streamInfo;
  uint32_t reserved; /* 0 */
  void* stream;
  PluginResponseReleaseFunction release;
} PluginResponse;

#pragma pack(pop)

/* ---- Events ------------------------------------------------------------------------------- */

/* An event. The publisher owns the record and its payload for the duration of PublishEvent; on
 * delivery the host passes a record it owns for the duration of the listener call, with
 * `context` set to the context given to AddEventListener (0 when publishing). */
typedef struct PluginEvent {
  const char* name;
  PluginCell payload;
  void* context;
} PluginEvent;

typedef void (*PluginEventCallback)(const PluginEvent* event);
typedef void (*PluginScheduledCallback)(void* context);

/* ---- The host ----------------------------------------------------------------------------- */

struct PluginHostApi;
typedef const struct PluginHostApi PluginHostApiTable;

/* The host's operations, in slot order. Each takes the table itself first. Strings are owned by
 * the caller for the duration of the call. The table is owned by the host and outlives every
 * plugin it starts. */
typedef struct PluginHostApi {
  /* Returns when `response` is filled; the caller then calls response->release. */
  int32_t (*SendRequest)(PluginHostApiTable* api, struct PluginResponse* response,
                         const PluginRequest* request);
  int32_t (*Reserved)(PluginHostApiTable* api, uint32_t word0, uint32_t word1);
  int32_t (*PublishEvent)(PluginHostApiTable* api, const PluginEvent* event);
  int32_t (*AddEventListener)(PluginHostApiTable* api, const char* name, uint32_t handle,
                              PluginEventCallback callback, void* context, uint32_t kind);
  int32_t (*RemoveEventListener)(PluginHostApiTable* api, const char* name, uint32_t handle);
  /* Calls `callback(context)` once after `delaySeconds` (0 when due now). */
  int32_t (*ScheduleCallback)(PluginHostApiTable* api, const char* label,
                              PluginScheduledCallback callback, void* context,
                              double delaySeconds, uint32_t reserved);
  int32_t (*YieldToHost)(PluginHostApiTable* api);
  int32_t (*EnterWait)(PluginHostApiTable* api, const char* label, uint32_t reserved);
  int32_t (*LeaveWait)(PluginHostApiTable* api);
  int32_t (*WriteLog)(PluginHostApiTable* api, int32_t level, const char* line);
} PluginHostApi;

/* Given to a plugin's start callback; owned by the host, valid until the stop callback returns.
 * `handle` identifies the plugin in listener registrations and in requests it sends. */
typedef struct PluginHostRecord {
  const PluginHostApi* api;
  uint32_t handle;
} PluginHostRecord;

/* ---- Plugin entry ------------------------------------------------------------------------- */

/* The library's heap accounting, filled by the memory statistics callback. */
typedef struct PluginMemoryStats {
  uint64_t peakLiveBytes;
  uint64_t peakLiveCount; /* live allocations when the peak was reached */
  uint64_t allocatedBytes;
  uint64_t allocationCount;
  uint64_t freedBytes;
  uint64_t freeCount;
  uint32_t reserved0; /* 0 */
  uint32_t reserved1; /* 0 */
} PluginMemoryStats;

/* The three callbacks of a plugin. They live inside the plugin object; `context` is
 * PluginLoadRecord.context. `start` returns 1 when the plugin started. `stop` destroys the plugin:
 * nothing the plugin handed out (callbacks, name, description) may be used after it returns. */
typedef struct PluginCallbacks {
  uint8_t (*start)(void* context, const PluginHostRecord* host);
  void (*stop)(void* context);
  void (*memoryStats)(void* context, PluginMemoryStats* stats);
} PluginCallbacks;

/* The function a plugin's routes are served by: finds the function for the request by method and
 * path, runs it, and fills `response` (whose release function it sets) before returning. */
typedef void (*PluginFunctionEntry)(void* context, struct PluginResponse* response,
                                    const PluginRequest* request);

/* One function of a plugin's API. */
typedef struct PluginFunctionDescription {
  const char* name;     /* e.g. "GetZekSettingsV2LocalByCategory" */
  uint32_t method;      /* enum PluginMethod; 0 matches any */
  const char* path;     /* template: "{name}" one segment, "{+name}" the rest, "{#name}" */
  const char* callName; /* "" for path functions */
  PluginFunctionEntry entry;
  void* context; /* passed to `entry` */
} PluginFunctionDescription;

/* A plugin's API, owned by the plugin and valid until its stop callback returns. `help` is the
 * whole API (functions, types, events) as a structure cell for people to read. */
typedef struct ApiDescription {
  const PluginFunctionDescription* functions;
  size_t functionCount;
  PluginCell help;
} ApiDescription;

/* Exchanged once through the entry. The host fills the core version in words 0-2; the plugin
 * overwrites them with its own version and fills the rest, which it owns and keeps valid until its
 * stop callback returns. A plugin that refuses the core leaves callbacks null. */
typedef struct PluginLoadRecord {
  uint32_t major;
  uint32_t minor;
  uint32_t patch;
  const PluginCallbacks* callbacks;
  void* context;
  const char* shortName;
  const ApiDescription* description;
} PluginLoadRecord;

/* The one exported entry of a plugin library, looked up as "load_<short name with _>". */
typedef void (*PluginLoadFunction)(PluginLoadRecord* record);

#if defined(__GNUC__)
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define PLUGIN_EXPORT
#endif

PLUGIN_EXPORT void load_zek_settings(PluginLoadRecord* record);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZEK_PLUGIN_ABI_H_ */
