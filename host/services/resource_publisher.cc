#include "host/services/resource_publisher.h"

namespace Varn::Host {
namespace {

std::string_view ChangeName(ResourceChange change) {
  switch (change) {
    case ResourceChange::kCreate:
      return "Create";
    case ResourceChange::kUpdate:
      return "Update";
    case ResourceChange::kDelete:
      return "Delete";
  }
  return "Update";
}

}  // namespace

void ResourcePublisher::Publish(ResourceChange change, std::string_view path,
                                const BindingProperty& data) {
  BindingProperty event;
  event.Field("uri").SetString(path);
  event.Field("eventType").SetString(ChangeName(change));
  event.Field("data") = data;
  std::string name = ResourceEventName(path);
  bool catch_all = name != kCatchAllEventName;
  runtime_.PostEvent(std::move(name), event);
  if (catch_all) runtime_.PostEvent(std::string(kCatchAllEventName), std::move(event));
}

}  // namespace Varn::Host
