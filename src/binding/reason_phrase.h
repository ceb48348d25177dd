// Reason phrases of the status codes the request layer answers with.
#ifndef ZEK_BINDING_REASON_PHRASE_H_
#define ZEK_BINDING_REASON_PHRASE_H_

#include <optional>
#include <string_view>

namespace Varn {

// The phrase of `code` ("Not Found" for 404), or nothing for a code outside the table. The view
// refers to static text.
std::optional<std::string_view> ReasonPhrase(int code);

}  // namespace Varn

#endif  // ZEK_BINDING_REASON_PHRASE_H_
