// python3 as an independent peer for the byte codecs: a script run with
// length-framed records on its standard input, its standard output back.
// The interpreter is the build's ZEM_PYTHON, the system's /usr/bin/python3
// by default. A peer that cannot run is a failure, never a skip.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace python_peer {

#ifndef ZEM_PYTHON
#define ZEM_PYTHON "/usr/bin/python3"
#endif

// The shell command that runs the peer interpreter on a script file.
inline std::string command(const std::string& script_path) {
    return std::string("'" ZEM_PYTHON "' ") + script_path;
}

// Defines records() (the framed inputs) and emit(bytes) (one framed output).
inline const char* prelude =
    "import sys, struct\n"
    "def records():\n"
    "    d = sys.stdin.buffer.read(); i = 0; out = []\n"
    "    while i < len(d):\n"
    "        n = struct.unpack_from('<I', d, i)[0]; out.append(d[i + 4:i + 4 + n]); i += 4 + n\n"
    "    return out\n"
    "def emit(b):\n"
    "    sys.stdout.buffer.write(struct.pack('<I', len(b)) + b)\n";

inline std::string pack(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& s : items) {
        uint32_t n = static_cast<uint32_t>(s.size());
        for (int i = 0; i < 4; i++) out += static_cast<char>(n >> (8 * i));
        out += s;
    }
    return out;
}

inline std::vector<std::string> unpack(const std::string& data) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i + 4 <= data.size()) {
        uint32_t n = 0;
        for (int k = 0; k < 4; k++) n |= static_cast<uint32_t>(static_cast<uint8_t>(data[i + k])) << (8 * k);
        out.push_back(data.substr(i + 4, n));
        i += 4 + n;
    }
    return out;
}

// Runs prelude + script with the records on standard input; nullopt when
// python3 could not run it to a zero exit status.
inline std::optional<std::string> run(const std::string& script, const std::vector<std::string>& inputs = {}) {
    char dir[] = "/tmp/zem-peer-XXXXXX";
    if (!mkdtemp(dir)) return std::nullopt;
    std::string py = std::string(dir) + "/peer.py", in = std::string(dir) + "/in";
    bool written = false;
    if (FILE* f = std::fopen(py.c_str(), "wb")) {
        std::string text = std::string(prelude) + script;
        written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        std::fclose(f);
    }
    if (FILE* f = std::fopen(in.c_str(), "wb")) {
        std::string data = pack(inputs);
        written = written && std::fwrite(data.data(), 1, data.size(), f) == data.size();
        std::fclose(f);
    }
    std::optional<std::string> result;
    if (written) {
        std::string cmd = command(py) + " < " + in;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            std::string out;
            char buf[65536];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
            if (pclose(p) == 0) result = out;
        }
    }
    unlink(py.c_str());
    unlink(in.c_str());
    rmdir(dir);
    return result;
}

// Deterministic pseudo-random bytes for test inputs.
inline std::string noise(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 23);
    }
    return s;
}

inline const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
inline uint32_t size(const std::string& s) { return static_cast<uint32_t>(s.size()); }

// Runs a plain script (no prelude, no input) and answers what it printed. When python3 could
// not run it to a zero exit status, the current test fails and the answer is "".
inline std::string run_text(const std::string& script) {
    char path[] = "/tmp/zem-peer-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        ADD_FAILURE() << "cannot write the python3 peer script";
        return {};
    }
    FILE* f = fdopen(fd, "w");
    fputs(script.c_str(), f);
    fclose(f);
    std::string out;
    int status = -1;
    if (FILE* p = popen(command(path).c_str(), "r")) {
        std::array<char, 4096> buf;
        size_t n;
        while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
        status = pclose(p);
    }
    unlink(path);
    if (status != 0) {
        ADD_FAILURE() << "the python3 peer failed: " << command(path) << " gave status "
                      << (WIFEXITED(status) ? WEXITSTATUS(status) : status);
        return {};
    }
    return out;
}

// run_text's output as lines.
inline std::vector<std::string> run_lines(const std::string& script) {
    std::vector<std::string> lines;
    std::istringstream in(run_text(script));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace python_peer
