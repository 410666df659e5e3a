#!/usr/bin/env python3
# HTTP through url! values against a real server on 127.0.0.1 (http_peer):
# read and write with their refinements, the request the server saw (method,
# headers, body bytes), redirects, a 404, a repeated header, a closed port,
# loading and running a script from a URL.
import hashlib
import json
import os
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import http_peer  # noqa: E402

ZEM = os.path.abspath(sys.argv[1])
failures = []

HELLO = "héllo\r\nworld\n".encode()
FILES = {
    "hello.txt": ("text/plain; charset=utf-8", HELLO),
    "a.zem": ("application/octet-stream", b"Zem [Title: \"remote\"]\n1 + 2\n"),
}


def check(name, got, expected):
    if got != expected:
        failures.append(f"{name}:\n    expected {expected!r}\n    got      {got!r}")


def run_zem(code, tmp):
    """Runs a script; answers its output lines as {label: text} for lines
    printed as `label: text`."""
    path = os.path.join(tmp, "t.zem")
    with open(path, "w", encoding="utf-8") as f:
        f.write("Zem []\n" + code)
    env = dict(os.environ)
    env["XDG_CACHE_HOME"] = os.path.join(tmp, ".cache")
    env["HOME"] = tmp
    p = subprocess.run([ZEM, path], cwd=tmp, env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=120)
    out = {}
    for line in p.stdout.decode("utf-8", "replace").splitlines():
        label, sep, text = line.partition(": ")
        if sep:
            out[label] = text
    return p.returncode, out, p.stdout.decode("utf-8", "replace")


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def requests_and_answers(base, tmp):
    code = f"""
u: {base}
print ["text:" mold read u/files/hello.txt]
print ["binary:" mold read/binary u/files/hello.txt]
print ["lines:" mold read/lines u/files/hello.txt]
i: read/info u/nope
print ["404:" mold reduce [i/1 i/3 type? i/2]]
print ["404-type:" i/2/Content-Type]
d: read/info u/twice
print ["dup:" mold d/2/X-Dup]
print ["redirect:" mold read u/redirect]
print ["post:" write u/echo "né=1&b"]
print ["put:" write u/echo [put [X-A: "b" Y 5 'Z "a"] #{{0102FF}}]]
print ["get-data:" write u/echo [get [] "ignored"]]
print ["empty-block:" write u/echo []]
h: write/info u/echo [head]
print ["head:" mold reduce [h/1 h/3]]
print ["patch:" write u/echo [patch [] "x"]]
print ["info-post:" mold first write/info u/nope "a"]
print ["connect:" mold (get in try [read http://127.0.0.1:{closed_port()}/x] 'id)]
print ["bad-method:" mold (get in try [write u/echo [1]] 'id)]
print ["bad-headers:" mold (get in try [write u/echo [post "x"]] 'id)]
print ["bad-data:" mold (get in try [write u/echo 12] 'id)]
print ["part:" mold (get in try [read/part u/files/hello.txt 2] 'id)]
print ["load:" mold/flat load u/files/a.zem]
print ["do:" mold do u/files/a.zem]
print ["load-404:" mold load u/nope]
"""
    rc, out, raw = run_zem(code, tmp)
    check("exit status", rc, 0)
    check("read text", out.get("text"), '"héllo^/world^/"')
    check("read/binary", out.get("binary"), "#{" + HELLO.hex().upper() + "}")
    check("read/lines", out.get("lines"), '["héllo" "world"]')
    check("404 with info", out.get("404"), '[404 "not found: /nope" map!]')
    check("404 content type", out.get("404-type"), "text/plain; charset=utf-8")
    check("repeated header", out.get("dup"), '["one" "two"]')
    check("redirect followed", out.get("redirect"), '"héllo^/world^/"')

    def echo(label):
        try:
            return json.loads(out.get(label, ""))
        except ValueError:
            failures.append(f"{label}: no echo in output:\n{raw}")
            return {"method": None, "headers": [], "body-hex": None}

    post = echo("post")
    check("post method", post["method"], "POST")
    check("post body (UTF-8)", post["body-hex"], "né=1&b".encode().hex())
    heads = [[k, v] for k, v in post["headers"] if k not in ("Host", "Accept", "Content-Length")]
    check("post default headers", heads, [["Content-Type", "application/x-www-form-urlencoded"],
                                          ["Accept-Charset", "UTF-8"],
                                          ["User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"]])
    put = echo("put")
    check("put method", put["method"], "PUT")
    check("put body", put["body-hex"], "0102ff")
    heads = [[k, v] for k, v in put["headers"] if k not in ("Host", "Accept", "Content-Length")]
    check("put headers replace the defaults", heads, [["X-A", "b"], ["Y", "5"], ["Z", "a"]])
    get = echo("get-data")
    check("get sends no body", (get["method"], get["body-hex"]), ("GET", ""))
    empty = echo("empty-block")
    check("empty block is a get", empty["method"], "GET")
    check("head", out.get("head"), '[200 ""]')
    patch = echo("patch")
    check("custom method upper case", (patch["method"], patch["body"]), ("PATCH", "x"))
    check("write/info status", out.get("info-post"), "404")
    check("closed port", out.get("connect"), "no-connect")
    check("bad method", out.get("bad-method"), "invalid-arg")
    check("bad headers", out.get("bad-headers"), "invalid-arg")
    check("bad data", out.get("bad-data"), "invalid-arg")
    check("read/part", out.get("part"), "not-done")
    check("load a script", out.get("load"), '[Zem [Title: "remote"] 1 + 2]')
    check("do a script", out.get("do"), "3")
    check("load of a 404", out.get("load-404"), "none")


def cache(base, tmp, server):
    http_peer.Handler.counts.clear()
    code = f"""
u: {base}
c: system/options/cache
print ["thru-root:" mold system/options/thru-cache]
p: path-thru u/files/hello.txt
print ["path:" mold p]
print ["same-path:" p = path-thru to url! form u/files/hello.txt]
print ["case-differs:" p <> path-thru u/files/HELLO.txt]
print ["exists-before:" exists-thru? u/files/hello.txt]
print ["first:" mold read-thru u/files/hello.txt]
print ["exists-after:" exists-thru? u/files/hello.txt]
print ["exists-file:" exists-thru? p]
print ["second:" mold read-thru u/files/hello.txt]
print ["binary:" mold read-thru/binary u/files/hello.txt]
print ["update:" mold read-thru/update u/files/hello.txt]
print ["missing:" mold read-thru u/nope]
print ["missing-cached:" exists-thru? u/nope]
l1: load-thru u/files/a.zem
l2: load-thru u/files/a.zem
print ["load-thru:" mold/flat l1]
print ["load-again:" l1 = l2]
print ["do-thru:" mold do-thru u/files/a.zem]
print ["load-missing:" mold load-thru u/nope]
print ["root:" mold system/options/thru-cache]
"""
    rc, out, raw = run_zem(code, tmp)
    check("cache exit status", rc, 0)
    root = os.path.join(tmp, ".cache", "zem", "cache") + "/"
    check("cache root starts unset", out.get("thru-root"), "none")
    check("cache root", out.get("root"), "%" + root)
    url = base + "/files/hello.txt"
    digest = hashlib.md5(url.encode()).hexdigest().upper()
    check("cache path", out.get("path"), "%" + root + digest[:2] + "/" + digest)
    check("equal texts, one path", out.get("same-path"), "true")
    check("letter case, another path", out.get("case-differs"), "true")
    check("exists before", out.get("exists-before"), "false")
    check("exists after", out.get("exists-after"), "true")
    check("exists of the cache file", out.get("exists-file"), "true")
    for label in ("first", "second", "update"):
        check("read-thru " + label, out.get(label), '"héllo^/world^/"')
    check("read-thru/binary", out.get("binary"), "#{" + HELLO.hex().upper() + "}")
    with open(os.path.join(root, digest[:2], digest), "rb") as f:
        check("the cache keeps the bytes fetched", f.read(), HELLO)
    check("a 404 gives none", out.get("missing"), "none")
    check("a 404 is not cached", out.get("missing-cached"), "false")
    check("load-thru", out.get("load-thru"), '[Zem [Title: "remote"] 1 + 2]')
    check("load-thru from the cache equals the first load", out.get("load-again"), "true")
    check("do-thru", out.get("do-thru"), "3")
    check("load-thru of a 404", out.get("load-missing"), "none")
    counts = http_peer.Handler.counts
    # first read, /update: two requests; the other reads come from the cache
    check("requests for the cached file", counts.get("/files/hello.txt"), 2)
    check("requests for the cached script", counts.get("/files/a.zem"), 1)


def main():
    server = http_peer.start(FILES)
    base = f"http://127.0.0.1:{server.server_address[1]}"
    try:
        with tempfile.TemporaryDirectory() as tmp:
            requests_and_answers(base, tmp)
        with tempfile.TemporaryDirectory() as tmp:
            cache(base, tmp, server)
    finally:
        server.shutdown()
        server.server_close()
    for f in failures:
        print(f)
    print(f"url_http: {'FAILED' if failures else 'passed'} ({len(failures)} failures)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
