// The two functions the host defines for the prelude: `__atob` and `__random`.
#pragma once

#include <JavaScriptCore/JavaScript.h>

namespace pages {

// Upper bound on the count `__random` hands out in one call.
inline constexpr unsigned max_random_values = 65536;

// __atob(s): s as a string, decoded as strict Base64, one character per byte (codes 0 to
// 255). Returns undefined when s is not valid Base64.
JSValueRef native_atob(JSContextRef ctx, JSObjectRef function, JSObjectRef self,
                       size_t argc, const JSValueRef argv[], JSValueRef* exception);

// __random(n): an array of min(n, 65536) independent uniform values 0..255 from the
// system's cryptographic source.
JSValueRef native_random(JSContextRef ctx, JSObjectRef function, JSObjectRef self,
                         size_t argc, const JSValueRef argv[], JSValueRef* exception);

}  // namespace pages
