// Owning handles for the script engine's reference-counted objects.
#pragma once

#include <JavaScriptCore/JavaScript.h>

#include <string>

namespace pages {

class js_string {
 public:
  js_string() = default;
  explicit js_string(JSStringRef ref) : ref_(ref) {}
  explicit js_string(const char* utf8) : ref_(JSStringCreateWithUTF8CString(utf8)) {}
  js_string(const char16_t* units, size_t length)
      : ref_(JSStringCreateWithCharacters(reinterpret_cast<const JSChar*>(units), length)) {}
  js_string(const js_string&) = delete;
  js_string& operator=(const js_string&) = delete;
  js_string(js_string&& other) noexcept : ref_(other.ref_) { other.ref_ = nullptr; }
  js_string& operator=(js_string&& other) noexcept {
    if (this != &other) {
      if (ref_) JSStringRelease(ref_);
      ref_ = other.ref_;
      other.ref_ = nullptr;
    }
    return *this;
  }
  ~js_string() {
    if (ref_) JSStringRelease(ref_);
  }
  JSStringRef get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }
  const char16_t* units() const {
    return reinterpret_cast<const char16_t*>(JSStringGetCharactersPtr(ref_));
  }
  size_t length() const { return JSStringGetLength(ref_); }

 private:
  JSStringRef ref_ = nullptr;
};

class js_context {
 public:
  js_context() : ref_(JSGlobalContextCreate(nullptr)) {}
  js_context(const js_context&) = delete;
  js_context& operator=(const js_context&) = delete;
  ~js_context() {
    if (ref_) JSGlobalContextRelease(ref_);
  }
  JSGlobalContextRef get() const { return ref_; }

 private:
  JSGlobalContextRef ref_;
};

}  // namespace pages
