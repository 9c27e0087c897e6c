// A small document bundle of the kind the host supplies: it lays a JSON description of a
// document out as a zip package (stored entries) using only the standard built-ins and
// the host's prelude (TextEncoder, TextDecoder, atob, crypto.getRandomValues).
//
// Input: { "title": string, "paragraphs": [string], "notes": [base64 of UTF-8 text],
//          "attachments": [{ "name": string, "data": base64 }] }
// Package: Index/Document.xml, Metadata/DocumentIdentifier, Metadata/Properties.json,
//          Data/<name> for each attachment.

const CRC_TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

function crc32(bytes) {
  let c = 0xFFFFFFFF;
  for (let i = 0; i < bytes.length; i++) c = CRC_TABLE[(c ^ bytes[i]) & 0xFF] ^ (c >>> 8);
  return (c ^ 0xFFFFFFFF) >>> 0;
}

function escapeXml(text) {
  return text.replace(/[&<>"]/g, c => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
}

function base64Bytes(text) {
  const binary = atob(text);
  if (binary === undefined) throw new TypeError('attachment is not valid Base64');
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

function uuid() {
  const b = crypto.getRandomValues(new Uint8Array(16));
  b[6] = (b[6] & 0x0F) | 0x40;
  b[8] = (b[8] & 0x3F) | 0x80;
  const hex = Array.from(b, v => v.toString(16).padStart(2, '0')).join('');
  return `${hex.slice(0, 8)}-${hex.slice(8, 12)}-${hex.slice(12, 16)}-${hex.slice(16, 20)}-${hex.slice(20)}`;
}

function documentXml(doc) {
  const decoder = new TextDecoder('utf-8');
  const parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<document>\n'];
  parts.push(`<title>${escapeXml(doc.title)}</title>\n`);
  for (const p of doc.paragraphs) parts.push(`<p>${escapeXml(p)}</p>\n`);
  for (const note of doc.notes || []) parts.push(`<note>${escapeXml(decoder.decode(base64Bytes(note)))}</note>\n`);
  parts.push('</document>\n');
  return parts.join('');
}

// DOS date and time of 2024-01-02 03:04:06, fixed so that the package is reproducible.
const DOS_TIME = (3 << 11) | (4 << 5) | 3;
const DOS_DATE = ((2024 - 1980) << 9) | (1 << 5) | 2;

function zip(entries) {
  const encoder = new TextEncoder();
  const files = entries.map(e => ({ name: encoder.encode(e.name), data: e.data, crc: crc32(e.data) }));
  let localSize = 0, centralSize = 0;
  for (const f of files) {
    localSize += 30 + f.name.length + f.data.length;
    centralSize += 46 + f.name.length;
  }
  const out = new Uint8Array(localSize + centralSize + 22);
  const view = new DataView(out.buffer);
  let at = 0;
  const u16 = v => { view.setUint16(at, v, true); at += 2; };
  const u32 = v => { view.setUint32(at, v, true); at += 4; };
  const header = (f, central) => {
    u16(20);        // version needed
    u16(0x0800);    // names are UTF-8
    u16(0);         // stored
    u16(DOS_TIME); u16(DOS_DATE);
    u32(f.crc); u32(f.data.length); u32(f.data.length);
    u16(f.name.length); u16(0);
    if (central) { u16(0); u16(0); u16(0); u32(0); u32(f.offset); }
  };
  for (const f of files) {
    f.offset = at;
    u32(0x04034B50);
    header(f, false);
    out.set(f.name, at); at += f.name.length;
    out.set(f.data, at); at += f.data.length;
  }
  const centralStart = at;
  for (const f of files) {
    u32(0x02014B50);
    u16(20);        // made by
    header(f, true);
    out.set(f.name, at); at += f.name.length;
  }
  const centralLength = at - centralStart;
  u32(0x06054B50); u16(0); u16(0); u16(files.length); u16(files.length);
  u32(centralLength); u32(centralStart); u16(0);
  return out;
}

function lumivanePages(doc) {
  const encoder = new TextEncoder();
  const properties = { title: doc.title, paragraphs: doc.paragraphs.length,
                       attachments: (doc.attachments || []).map(a => a.name) };
  const entries = [
    { name: 'Index/Document.xml', data: encoder.encode(documentXml(doc)) },
    { name: 'Metadata/DocumentIdentifier', data: encoder.encode(uuid()) },
    { name: 'Metadata/Properties.json', data: encoder.encode(JSON.stringify(properties)) },
  ];
  for (const a of doc.attachments || []) entries.push({ name: `Data/${a.name}`, data: base64Bytes(a.data) });
  return zip(entries);
}
