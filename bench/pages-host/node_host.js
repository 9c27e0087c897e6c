// Baseline for the LumivanePages benchmark: the same run under Node.
//
//   node node_host.js PRELUDE_FILE|--native SCRIPT INPUT OUTPUT
//
// With a prelude file, the bundle gets the same environment as under LumivanePages
// (__atob and __random natives, then the prelude text). With --native it uses Node's own
// atob, crypto, TextEncoder and TextDecoder instead.
'use strict';
const fs = require('fs');
const path = require('path');
const vm = require('vm');
const crypto = require('crypto');

const [preludeFile, scriptPath, inputPath, outputPath] = process.argv.slice(2);
const script = fs.readFileSync(scriptPath, 'utf8');
const inputJson = fs.readFileSync(inputPath, 'utf8');

// The bundle runs in Node's main context, as a script does under LumivanePages: a vm
// context would slow every global access and make the comparison unfair.
if (preludeFile !== '--native') {
  // Node's crypto global has only a getter; make room for the prelude's own.
  Object.defineProperty(globalThis, 'crypto', { value: undefined, writable: true, configurable: true });
  const strictBase64 = /^(?:[A-Za-z0-9+/]{4})*(?:[A-Za-z0-9+/]{2}==|[A-Za-z0-9+/]{3}=)?$/;
  globalThis.__atob = s => {
    s = String(s);
    return strictBase64.test(s) ? Buffer.from(s, 'base64').toString('latin1') : undefined;
  };
  globalThis.__random = n => Array.from(crypto.randomBytes(Math.min(n >>> 0, 65536)));
  vm.runInThisContext(fs.readFileSync(preludeFile, 'utf8'));
}
vm.runInThisContext(script, { filename: scriptPath });
globalThis.__inputJson = inputJson;
const result = vm.runInThisContext('lumivanePages(JSON.parse(__inputJson))');
const bytes = Buffer.from(result.buffer, result.byteOffset, result.byteLength);
const temporary = path.join(path.dirname(outputPath), `.node-${process.pid}`);
fs.writeFileSync(temporary, bytes);
fs.renameSync(temporary, outputPath);
