#include "script_host.h"

#include "file_io.h"
#include "js_handles.h"
#include "natives.h"
#include "prelude.h"
#include "run_limits.h"
#include "utf.h"

namespace pages {

namespace {

// Stands in for the context's exception handler: every call into the engine hands its
// exception here, the latest one wins, and evaluation goes on.
struct exception_record {
  bool any = false;
  std::string text;
};

std::string string_form(JSContextRef ctx, JSValueRef value, JSValueRef* thrown) {
  js_string text(JSValueToStringCopy(ctx, value, thrown));
  if (!text) return {};
  return utf16_to_utf8(text.units(), text.length());
}

void record(JSContextRef ctx, JSValueRef exception, exception_record& record) {
  if (!exception) return;
  record.any = true;
  // An exception whose toString throws is described by what that throw says.
  JSValueRef nested = nullptr;
  record.text = string_form(ctx, exception, &nested);
  if (nested) {
    JSValueRef ignored = nullptr;
    record.text = string_form(ctx, nested, &ignored);
    if (ignored) record.text = "exception without a string form";
  }
}

void define_global(JSContextRef ctx, const char* name, JSValueRef value,
                   exception_record& exceptions) {
  js_string key(name);
  JSValueRef exception = nullptr;
  JSObjectSetProperty(ctx, JSContextGetGlobalObject(ctx), key.get(), value,
                      kJSPropertyAttributeNone, &exception);
  record(ctx, exception, exceptions);
}

void define_native(JSContextRef ctx, const char* name, JSObjectCallAsFunctionCallback body,
                   exception_record& exceptions) {
  js_string key(name);
  define_global(ctx, name, JSObjectMakeFunctionWithCallback(ctx, key.get(), body), exceptions);
}

JSValueRef evaluate(JSContextRef ctx, const js_string& source, JSStringRef url,
                    exception_record& exceptions) {
  JSValueRef exception = nullptr;
  JSValueRef result = JSEvaluateScript(ctx, source.get(), nullptr, url, 1, &exception);
  record(ctx, exception, exceptions);
  return result;
}

// The bytes of the typed array `result`, or false if it is not one.
// These are the view's own bytes: a view into the middle of a larger buffer yields its
// own region, not the buffer's start.
bool typed_array_bytes(JSContextRef ctx, JSValueRef result, const void*& bytes, size_t& length) {
  if (!result) return false;
  JSValueRef exception = nullptr;
  // A DataView has a buffer too, but it is no typed array.
  const JSTypedArrayType type = JSValueGetTypedArrayType(ctx, result, &exception);
  if (exception || type == kJSTypedArrayTypeNone || type == kJSTypedArrayTypeArrayBuffer)
    return false;
  JSObjectRef object = JSValueToObject(ctx, result, &exception);
  if (exception || !object) return false;
  JSObjectRef buffer = JSObjectGetTypedArrayBuffer(ctx, object, &exception);
  if (exception || !buffer) return false;
  const auto* base = static_cast<const unsigned char*>(
      JSObjectGetArrayBufferBytesPtr(ctx, buffer, &exception));
  length = JSObjectGetTypedArrayByteLength(ctx, object, &exception);
  const size_t offset = JSObjectGetTypedArrayByteOffset(ctx, object, &exception);
  if (exception || !base) return false;
  bytes = base + offset;
  return true;
}

}  // namespace

bundle_run run_bundle(const js_string& script, const js_string& input_json,
                      const char* script_path, const char* output_path) {
  bundle_run run;
  exception_record exceptions;
  js_context context;
  JSContextRef ctx = context.get();
  // Bounded from here on, with the engine's own reservations already counted.
  limit_script_memory();

  define_native(ctx, "__atob", native_atob, exceptions);
  define_native(ctx, "__random", native_random, exceptions);

  evaluate(ctx, js_string(prelude_source), nullptr, exceptions);
  js_string url(script_path);
  evaluate(ctx, script, url.get(), exceptions);
  define_global(ctx, "__inputJson", JSValueMakeString(ctx, input_json.get()), exceptions);
  JSValueRef result = evaluate(ctx, js_string("lumivanePages(JSON.parse(__inputJson))"),
                               nullptr, exceptions);

  if (exceptions.any) {
    run.status = status_exception;
    run.exception_text = std::move(exceptions.text);
    return run;
  }
  const void* bytes = nullptr;
  size_t length = 0;
  if (!typed_array_bytes(ctx, result, bytes, length) || length == 0 ||
      length > max_output_bytes) {
    run.status = status_bad_result;
    return run;
  }
  // The engine keeps the array's store in place while no script runs, so it is written
  // straight from there without a copy.
  run.status = write_file_atomically(output_path, bytes, length) ? status_written
                                                                 : status_write_failed;
  return run;
}

}  // namespace pages
