#include "natives.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "base64.h"
#include "js_handles.h"

namespace pages {

namespace {

// The call's first argument; a missing one reads as undefined, as in any script call.
JSValueRef first_argument(JSContextRef ctx, size_t argc, const JSValueRef argv[]) {
  return argc > 0 ? argv[0] : JSValueMakeUndefined(ctx);
}

// The count as an unsigned integer: fractions are dropped, and NaN and negative numbers
// count as zero.
unsigned random_count(double n) {
  if (!(n > 0)) return 0;
  if (n >= max_random_values) return max_random_values;
  return static_cast<unsigned>(n);
}

}  // namespace

JSValueRef native_atob(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t argc,
                       const JSValueRef argv[], JSValueRef* exception) {
  js_string text(JSValueToStringCopy(ctx, first_argument(ctx, argc, argv), exception));
  if (!text) return nullptr;  // the conversion threw; `exception` carries it to the script
  std::string bytes;
  if (!base64_decode_strict(text.units(), text.length(), bytes))
    return JSValueMakeUndefined(ctx);
  std::u16string latin1(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    latin1[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
  js_string decoded(latin1.data(), latin1.size());
  return JSValueMakeString(ctx, decoded.get());
}

JSValueRef native_random(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t argc,
                         const JSValueRef argv[], JSValueRef* exception) {
  JSValueRef thrown = nullptr;
  const double n = JSValueToNumber(ctx, first_argument(ctx, argc, argv), &thrown);
  if (thrown) {
    *exception = thrown;
    return nullptr;
  }
  const unsigned count = random_count(n);
  std::vector<JSValueRef> values(count);
  for (unsigned i = 0; i < count; ++i)
    values[i] = JSValueMakeNumber(ctx, arc4random_uniform(256));
  return JSObjectMakeArray(ctx, count, values.data(), exception);
}

}  // namespace pages
