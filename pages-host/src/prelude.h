// The browser-like facilities every bundle may use, evaluated before the bundle itself.
// The text is fixed: bundles are written against exactly this behaviour.
#pragma once

namespace pages {

inline constexpr const char* prelude_source =
    R"js(globalThis.atob=s=>__atob(s);globalThis.crypto={getRandomValues(a){const b=__random(a.byteLength);new Uint8Array(a.buffer,a.byteOffset,a.byteLength).set(b);return a;}};class TextEncoder{encode(s=''){s=String(s).replace(/[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/g,'\uFFFD');const t=unescape(encodeURIComponent(s));return Uint8Array.from(t,c=>c.charCodeAt(0));}}class TextDecoder{decode(b=new Uint8Array()){let s='';for(let i=0;i<b.length;i+=8192)s+=String.fromCharCode(...b.subarray(i,i+8192));try{return decodeURIComponent(escape(s));}catch{return s;}}}globalThis.TextEncoder=TextEncoder;globalThis.TextDecoder=TextDecoder;)js";

}  // namespace pages
