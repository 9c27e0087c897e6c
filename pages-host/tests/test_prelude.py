"""The environment a bundle sees: the prelude's four facilities over the two natives."""

import base64
import json
import tempfile
import unittest

from pages_harness import PagesTestCase, run_bundle_in

PROBE = r"""
const topLevel = {
  natives: [typeof __atob, typeof __random],
  facilities: [typeof atob, typeof crypto, typeof TextEncoder, typeof TextDecoder],
  inputJson: typeof __inputJson,
};
const codes = s => s === undefined ? null : Array.from(s, c => c.charCodeAt(0));
const thrown = f => { try { f(); return null; } catch (e) { return String(e); } };
const bytes = a => Array.from(a);

function lumivanePages(doc) {
  const r = { topLevel, inputJson: typeof __inputJson };
  r.atob = doc.atob.map(s => codes(atob(s)));
  r.atobConverted = [codes(atob(1234)), codes(atob()), codes(atob(null))];
  r.atobThrowingArgument = thrown(() => atob({ toString() { throw new Error('no text'); } }));

  r.randomCounts = [0, 1, 2.7, -1, NaN, '5', 65536, 65537, 1e12, Infinity, undefined]
    .map(n => __random(n).length);
  r.randomNoArgument = __random().length;
  r.randomSymbol = thrown(() => __random(Symbol()));
  const draws = __random(65536);
  r.randomIntegral = draws.every(v => Number.isInteger(v) && v >= 0 && v <= 255);
  const histogram = new Array(256).fill(0);
  for (const v of draws) histogram[v]++;
  r.randomHistogram = [Math.min(...histogram), Math.max(...histogram)];

  const big = new Uint8Array(100000).fill(0xAA);
  r.fillReturnsArgument = crypto.getRandomValues(big) === big;
  r.filledChanged = big.subarray(0, 65536).filter(v => v !== 0xAA).length;
  r.filledTailUntouched = big.subarray(65536).every(v => v === 0xAA);
  const empty = new Uint8Array(0);
  r.emptyFill = [crypto.getRandomValues(empty) === empty, empty.length];
  const words = new Int32Array(64);
  crypto.getRandomValues(words);
  r.wordsFilled = words.filter(v => v !== 0).length;
  const framed = new Uint8Array(16);
  crypto.getRandomValues(framed.subarray(4, 12));
  r.framedOutsideUntouched = [...framed.subarray(0, 4), ...framed.subarray(12)].every(v => v === 0);
  r.cryptoKeys = Object.keys(crypto);

  const dec = new TextDecoder();
  r.decodeInvalid = codes(dec.decode(new Uint8Array([0xC3, 0x28])));
  r.decodeValid = dec.decode(new Uint8Array(doc.utf8));
  r.decodeDefault = dec.decode();
  r.decodeIgnoresArguments = new TextDecoder('utf-16le', { fatal: true })
    .decode(new Uint8Array([0xC3, 0xA9]));
  const invalidTail = new Uint8Array(20000).fill(0x61);
  invalidTail[19999] = 0xFF;
  const latin = dec.decode(invalidTail);
  r.decodeInvalidLong = [latin.length, latin.charCodeAt(19999)];

  const enc = new TextEncoder();
  r.encode = doc.encode.map(s => bytes(enc.encode(s)));
  r.encodeDefault = bytes(enc.encode());
  r.encodeConverted = [bytes(enc.encode(123)), bytes(enc.encode(null))];
  r.encodeResultType = Object.prototype.toString.call(enc.encode('x'));

  // Megabytes through both directions: TextDecoder must take them in chunks.
  const unit = 'a\u00e9\u20ac\uD83D\uDE00 ';
  const text = unit.repeat(Math.ceil(3 * 1024 * 1024 / 11));
  const encoded = enc.encode(text);
  r.roundTrip = [encoded.length, dec.decode(encoded) === text];
  r.spreadLimitHit = thrown(() => String.fromCharCode(...encoded));

  r.missing = ['setTimeout', 'setInterval', 'queueMicrotask', 'require', 'process', 'fetch',
               'XMLHttpRequest', 'window', 'document', 'btoa'].filter(n => n in globalThis);
  return enc.encode(JSON.stringify(r));
}
"""

ATOB_VALID = [bytes(range(256)), b"Hello", b"Hi", b"", b"\x00", b"\xff\xfe"]
ATOB_INVALID = [
    "SGVsbG8",       # unpadded
    "SGk",           # unpadded, two bytes
    "SGVs\nbG8=",    # line break
    "SGVs\r\nbG8=",  # CRLF
    "SGVsbG8=\n",    # trailing line break
    " SGk=",         # leading space
    "SGVs bG8=",     # space
    "S=Vs",          # padding in the middle
    "SGk=SGk=",      # padding before the end
    "SGk==",         # too much padding
    "====",
    "A===",
    "A", "AB", "ABC",
    "SGVsbG8-",      # URL-safe alphabet
    "SGVsbG8_",
    "SGVsbG\u00e98=",  # non-ASCII letter
    "SGVs\u0000bG8=",  # NUL
]
ENCODE_CASES = {
    "\ud800": [0xEF, 0xBF, 0xBD],
    "\udc00": [0xEF, 0xBF, 0xBD],
    "a\ud800\udc00b": [0x61, 0xF0, 0x90, 0x80, 0x80, 0x62],
    "\udc00\ud800": [0xEF, 0xBF, 0xBD] * 2,
    "x\ud83dy": [0x78, 0xEF, 0xBF, 0xBD, 0x79],
    "\u00e9\u20ac": [0xC3, 0xA9, 0xE2, 0x82, 0xAC],
    "\u0000": [0],
}


class Prelude(PagesTestCase):
    """One run of the probe bundle; each test reads its part of the results."""

    @classmethod
    def setUpClass(cls):
        cls.atob_inputs = [base64.b64encode(b).decode() for b in ATOB_VALID] + ATOB_INVALID
        doc = {
            "atob": cls.atob_inputs,
            "utf8": list("é€😀 ok".encode()),
            # ASCII JSON carries the lone surrogates as \u escapes.
            "encode": list(ENCODE_CASES),
        }
        with tempfile.TemporaryDirectory(prefix="pages-") as directory:
            cls.probe = run_bundle_in(directory, PROBE, json.dumps(doc, ensure_ascii=True))
        cls.r = json.loads(cls.probe.output) if cls.probe.status == 0 else {}

    def setUp(self):
        super().setUp()
        self.assertStatus(self.probe, 0)

    def test_definition_order(self):
        self.assertEqual(self.r["topLevel"], {
            "natives": ["function", "function"],
            "facilities": ["function", "object", "function", "function"],
            "inputJson": "undefined",
        })
        self.assertEqual(self.r["inputJson"], "string")

    def test_atob_is_strict_base64_to_latin1(self):
        expected = [list(b) for b in ATOB_VALID] + [None] * len(ATOB_INVALID)
        for given, want, got in zip(self.atob_inputs, expected, self.r["atob"]):
            with self.subTest(given=given):
                self.assertEqual(got, want)
        # The argument is converted to a string first; a failing conversion throws.
        self.assertEqual(self.r["atobConverted"], [list(base64.b64decode("1234")), None,
                                                 list(base64.b64decode("null"))])
        self.assertEqual(self.r["atobThrowingArgument"], "Error: no text")

    def test_random_counts_are_clamped_unsigned_integers(self):
        self.assertEqual(self.r["randomCounts"], [0, 1, 2, 0, 0, 5, 65536, 65536, 65536, 65536, 0])
        self.assertEqual(self.r["randomNoArgument"], 0)
        self.assertEqual(self.r["randomSymbol"], "TypeError: Cannot convert a symbol to a number")

    def test_random_values_are_uniform_bytes(self):
        self.assertTrue(self.r["randomIntegral"])
        low, high = self.r["randomHistogram"]
        # 65,536 uniform draws give 256 per value; six standard deviations either side.
        self.assertGreater(low, 256 - 6 * 16)
        self.assertLess(high, 256 + 6 * 16)

    def test_get_random_values(self):
        self.assertTrue(self.r["fillReturnsArgument"])
        # Only the first 65,536 bytes are filled; a random byte equals the old one 1 in 256.
        self.assertGreater(self.r["filledChanged"], 65536 - 600)
        self.assertTrue(self.r["filledTailUntouched"])
        self.assertEqual(self.r["emptyFill"], [True, 0])
        self.assertGreater(self.r["wordsFilled"], 60)
        self.assertTrue(self.r["framedOutsideUntouched"])
        self.assertEqual(self.r["cryptoKeys"], ["getRandomValues"])

    def test_text_decoder(self):
        self.assertEqual(self.r["decodeInvalid"], [0xC3, 0x28])
        self.assertEqual(self.r["decodeValid"], "é€😀 ok")
        self.assertEqual(self.r["decodeDefault"], "")
        self.assertEqual(self.r["decodeIgnoresArguments"], "é")
        self.assertEqual(self.r["decodeInvalidLong"], [20000, 0xFF])

    def test_text_encoder(self):
        for (given, want), got in zip(ENCODE_CASES.items(), self.r["encode"]):
            with self.subTest(given=ascii(given)):
                self.assertEqual(got, want)
        self.assertEqual(self.r["encodeDefault"], [])
        self.assertEqual(self.r["encodeConverted"], [[0x31, 0x32, 0x33], [0x6E, 0x75, 0x6C, 0x6C]])
        self.assertEqual(self.r["encodeResultType"], "[object Uint8Array]")

    def test_megabytes_round_trip_in_chunks(self):
        units = -(-3 * 1024 * 1024 // 11)
        self.assertEqual(self.r["roundTrip"], [units * 11, True])
        # The same bytes in one call would exceed the engine's argument limit.
        self.assertIsNotNone(self.r["spreadLimitHit"])

    def test_nothing_beyond_the_language_and_the_prelude(self):
        self.assertEqual(self.r["missing"], [])


if __name__ == "__main__":
    unittest.main()
