"""lv_text_to_docx on a 5 MB RTF document against LibreOffice's own conversion of the same file
(`soffice --headless --convert-to docx`), with the peak memory of the conversion.

    bench_rich_text.py LIBRARY [MEGABYTES]
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

CHILD = r"""
import ctypes, resource, sys, time
lib = ctypes.CDLL(sys.argv[1])
lib.lv_text_to_docx.argtypes = [ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p]
data = open(sys.argv[2], "rb").read() if sys.argv[2] != "-" else b""
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
ok = lib.lv_text_to_docx(data, len(data), b"public.rtf", sys.argv[3].encode()) if data else 1
elapsed = time.perf_counter() - start
print(ok, elapsed, before, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def make_rtf(path, megabytes):
    head = (r"{\rtf1\ansi\ansicpg1252\cocoartf2761{\fonttbl\f0\fswiss\fcharset0 Helvetica;\f1\fnil\fcharset0 Menlo;}"
            "\n" r"{\colortbl;\red255\green255\blue255;\red200\green0\blue0;}" "\n" r"\pard\tx566\pardirnatural")
    paragraph = (r"\f0\fs24 \cf0 Par\'e1grafo {n} com \b negrito\b0 , \i it\'e1lico\i0 , \ul sublinhado\ulnone , "
                 r"\cf2 cor\cf0 , \f1\fs20 c\'f3digo\f0\fs24  e {{\field{{\*\fldinst{{HYPERLINK \"https://example.com/{n}\"}}}}"
                 r"{{\fldrslt liga\'e7\'e3o}}}} at\'e9 o fim da linha de texto corrido \u8364 ?.\par" "\n")
    with open(path, "w", encoding="ascii") as handle:
        handle.write(head)
        size, n = len(head), 0
        while size < megabytes * 1_000_000:
            text = paragraph.format(n=n)
            handle.write(text)
            size += len(text)
            n += 1
        handle.write("}")
    return n


def ours(library, rtf, out):
    result = subprocess.run([sys.executable, "-c", CHILD, library, rtf, out], check=True, capture_output=True,
                            text=True).stdout.split()
    ok, elapsed, before, after = int(result[0]), float(result[1]), int(result[2]), int(result[3])
    if ok != 1:
        sys.exit("lv_text_to_docx failed")
    return elapsed, before, after


def main():
    library = os.path.abspath(sys.argv[1])
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 5
    work = tempfile.mkdtemp(prefix="bench-rich-text-")
    try:
        rtf = os.path.join(work, "big.rtf")
        paragraphs = make_rtf(rtf, megabytes)
        print(f"input: {os.path.getsize(rtf) / 1e6:.1f} MB RTF, {paragraphs} paragraphs")
        runs = [ours(library, rtf, os.path.join(work, "ours.docx")) for _ in range(3)]
        best = min(run[0] for run in runs)
        baseline_rss = ours(library, "-", os.path.join(work, "none.docx"))[2]
        peak = max(run[2] for run in runs)
        print(f"lv_text_to_docx: {best:.3f} s (best of 3), output {os.path.getsize(os.path.join(work, 'ours.docx')) / 1e6:.2f} MB")
        print(f"peak memory: {peak / 1024:.0f} MB process ({(peak - baseline_rss) / 1024:.0f} MB above the loaded library)")
        soffice = shutil.which("soffice")
        if not soffice:
            print("soffice not installed: no baseline")
            return
        profile = os.path.join(work, "profile")
        start = time.perf_counter()
        subprocess.run([soffice, f"-env:UserInstallation=file://{profile}", "--headless", "--convert-to", "docx",
                        "--outdir", os.path.join(work, "lo"), rtf], check=True, capture_output=True)
        lo = time.perf_counter() - start
        children = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        print(f"soffice --convert-to docx: {lo:.3f} s (peak of all children so far {children / 1024:.0f} MB)")
        print(f"speed-up: {lo / best:.1f}x (goal >= 20x)")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
