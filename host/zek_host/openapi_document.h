// The OpenAPI 3.1 document of GET /openapi.json: every function of the loaded plugins, from their
// ApiDescription entries (method, path template) and help records (arguments, results, types),
// and the paths the host serves itself (its own and the stand-in services').
#ifndef ZEK_HOST_ZEK_HOST_OPENAPI_DOCUMENT_H_
#define ZEK_HOST_ZEK_HOST_OPENAPI_DOCUMENT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_property.h"

namespace Varn::Host {

// What the document needs of one loaded plugin, copied out of its ApiDescription.
struct PluginApi {
  struct Function {
    std::string name;
    uint32_t method = 0;  // enum PluginMethod
    std::string path;
    bool call = false;  // reached by name (PLUGIN_METHOD_CALL), not over HTTP
  };
  std::string shortName;
  std::vector<Function> functions;
  BindingProperty help;  // the "BindingFullApiHelp" record
};

// The document as JSON text, for a host listening on `port`.
std::string OpenApiDocument(const std::vector<PluginApi>& plugins, uint16_t port);

}  // namespace Varn::Host

#endif  // ZEK_HOST_ZEK_HOST_OPENAPI_DOCUMENT_H_
