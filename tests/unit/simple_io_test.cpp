// Files and directories through read, write, delete, rename, query, size?
// and checksum on real files: checked against what the operating system
// holds (bytes on disk, stat, a FIFO fed by a child, a sparse file, names
// made by python from bytes) and python's zlib, hashlib and hmac.
#include <gtest/gtest.h>
#include <dirent.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>

#include "evaluate.h"
#include "booted.h"
#include "python_peer.h"
#include "datatypes/binary.h"
#include "datatypes/date.h"
#include "evaluator/interpreter.h"
#include "platform/system_info.h"
#include "app/top_level.h"
#include "services/lexer/lexer.h"
#include "services/simple_io.h"

namespace {

class Files : public booted::Runtime {
protected:
    std::string dir;

    void SetUp() override {
        booted::Runtime::SetUp();
        top_level::run();
        char tmpl[] = "/tmp/zem-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = std::string(tmpl) + "/";
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        booted::Runtime::TearDown();
    }

    // Evaluates the code and answers the mold of its value, or "error <id>".
    std::string run(const std::string& code) {
        test_eval::Result r = test_eval::evaluate(code);
        EXPECT_NE(r.kind, test_eval::Result::exit);
        if (r.kind == test_eval::Result::error) return "error " + r.error_id;
        return r.cell.type() == TYPE_UNSET ? "unset" : mold(r.cell);
    }

    static std::string mold(Cell v) {
        Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
        actions::mold(&v, buffer, false, false, false, nullptr, INT32_MAX, 0);
        std::string s;
        uint32_t n = string::rs_length_q(buffer);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t c = string::rs_abs_at(buffer, buffer->head() + i);
            if (c < 0x80) s += static_cast<char>(c);
            else s += "?";
        }
        stack::pop(1);
        return s;
    }

    // The file! literal of a name in the test directory.
    std::string f(const std::string& name) { return "%" + dir + name; }

    // Makes a FIFO and a child that writes the payload into it.
    pid_t feed_fifo(const std::string& name, const std::string& payload) {
        std::string path = dir + name;
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
        pid_t pid = fork();
        EXPECT_GE(pid, 0);
        if (pid == 0) {
            int fd = ::open(path.c_str(), O_WRONLY);
            size_t done = 0;
            while (fd >= 0 && done < payload.size()) {
                ssize_t n = ::write(fd, payload.data() + done, payload.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            _exit(done == payload.size() ? 0 : 1);
        }
        return pid;
    }
    // Waits for the child: true when it wrote its whole payload.
    static bool wrote_all(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::string disk(const std::string& name) {
        std::ifstream in(dir + name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void put(const std::string& name, const std::string& bytes) {
        std::ofstream out(dir + name, std::ios::binary);
        out << bytes;
    }
};

TEST_F(Files, TextIsWrittenAsUtf8WithLfAndReadBack) {
    EXPECT_EQ(run("write " + f("t.txt") + " {a^/b}"), "unset");
    EXPECT_EQ(disk("t.txt"), "a\nb");
    EXPECT_EQ(run("read " + f("t.txt")), "\"a^/b\"");
    EXPECT_EQ(run("write " + f("u.txt") + " {h\u00e9}"), "unset");
    EXPECT_EQ(disk("u.txt"), "h\xc3\xa9");
    EXPECT_EQ(run("read/binary " + f("u.txt")), "#{68C3A9}");
    put("crlf.txt", "a\r\nb\r\n");
    EXPECT_EQ(run("read " + f("crlf.txt")), "\"a^/b^/\"");
}

TEST_F(Files, Lines) {
    put("a.txt", "a\r\nb");
    EXPECT_EQ(run("read/lines " + f("a.txt")), "[\"a\" \"b\"]");
    put("b.txt", "a\n\nb\n");
    EXPECT_EQ(run("read/lines " + f("b.txt")), "[\"a\" \"\" \"b\"]");
    put("c.txt", "x\r");
    EXPECT_EQ(run("read/lines " + f("c.txt")), "[\"x^M\"]");
    put("empty.txt", "");
    EXPECT_EQ(run("read/lines " + f("empty.txt")), "\"\"");
    EXPECT_EQ(run("read/binary " + f("empty.txt")), "#{}");
    EXPECT_EQ(run("write/lines " + f("w.txt") + " [\"one\" \"two\"]"), "unset");
    EXPECT_EQ(disk("w.txt"), "one\ntwo\n");
    EXPECT_EQ(run("read/lines " + f("w.txt")), "[\"one\" \"two\"]");
    EXPECT_EQ(run("write/lines " + f("s.txt") + " \"x\""), "unset");
    EXPECT_EQ(disk("s.txt"), "x\n");
}

TEST_F(Files, PartSeekAppend) {
    put("p.txt", "abcdef");
    struct Case {
        const char* code;
        const char* expected;
    } cases[] = {
        {"read/part %s 0", "\"\""},        {"read/part %s 2", "\"ab\""},
        {"read/part %s 100", "\"abcdef\""}, {"read/seek %s 2", "\"cdef\""},
        {"read/seek/part %s 1 2", "\"bc\""}, {"read/seek %s 6", "\"\""},
        {"read/seek %s 600", "\"\""},      {"read/seek/binary %s 9", "#{}"},
        {"read/part %s 2.9", "\"ab\""},   {"read/part %s 1e30", "error invalid-refine-arg"},
        {"read/part %s -1", "\"abcdef\""}, {"read/seek %s -1", "\"abcdef\""},
    };
    for (const auto& c : cases) {
        std::string code = c.code;
        code.replace(code.find("%s"), 2, f("p.txt"));
        EXPECT_EQ(run(code), c.expected) << code;
    }
    run("write/append " + f("p.txt") + " \"gh\"");
    EXPECT_EQ(disk("p.txt"), "abcdefgh");
    run("write/seek " + f("p.txt") + " \"XY\" 2");
    EXPECT_EQ(disk("p.txt"), "abXYefgh");
    run("write/part " + f("q.txt") + " \"abc\" 2");
    EXPECT_EQ(disk("q.txt"), "ab");
    run("write/part " + f("q.txt") + " #{010203} 1");
    EXPECT_EQ(disk("q.txt"), std::string("\x01", 1));
    // A negative part writes nothing and leaves the file as it was.
    EXPECT_EQ(run("write/part " + f("q.txt") + " \"zz\" -1"), "unset");
    EXPECT_EQ(disk("q.txt"), std::string("\x01", 1));
    EXPECT_EQ(run("write/part " + f("q.txt") + " \"zz\" 1.5"), "error invalid-refine-arg");
    // Other values are written molded, brackets included.
    run("write " + f("m.txt") + " [1 \"a\"]");
    EXPECT_EQ(disk("m.txt"), "[1 \"a\"]");
}

// A FIFO reports size 0: it is read once to its end, never seeked back.
TEST_F(Files, AFifoIsReadOnceToItsEnd) {
    std::string payload;
    for (int i = 0; payload.size() < 200000; ++i) payload += "line " + std::to_string(i) + "\n";
    pid_t pid = feed_fifo("fifo", payload);
    std::string text = run("length? read " + f("fifo"));
    EXPECT_TRUE(wrote_all(pid));
    EXPECT_EQ(text, std::to_string(payload.size()));
}

// What reports no size is read only as far as /seek and /part ask: an
// endless device, a /proc file, a FIFO whose writer has more to give.
TEST_F(Files, StreamsAreReadOnlyAsFarAsAsked) {
    struct Case {
        const char* code;
        const char* expected;
    } cases[] = {
        {"read/binary/part %/dev/zero 4", "#{00000000}"},
        {"read/binary/seek/part %/dev/zero 200000 3", "#{000000}"},
        {"read/binary/part %/dev/zero 0", "#{}"},
        {"read/part %/proc/self/status 5", "\"Name:\""},
        {"read/seek/part %/proc/self/status 1 4", "\"ame:\""},
        {"read/seek %/proc/self/status 1000000", "\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.expected) << c.code;
    std::string payload;
    for (int i = 0; i < 100000; ++i) payload += static_cast<char>('0' + i % 10);
    pid_t pid = feed_fifo("fifo", payload);
    EXPECT_EQ(run("read/seek/part " + f("fifo") + " 70005 10"), "\"5678901234\"");
    wrote_all(pid);  // the writer may find the pipe closed before its end
}

TEST_F(Files, ProcFilesAreReadWhole) {
    std::string got = run("read %/proc/self/status");
    ASSERT_GT(got.size(), 100u);
    EXPECT_EQ(got.rfind("{Name:", 0), 0u) << got.substr(0, 40);
    EXPECT_NE(got.find("Pid:"), std::string::npos);
    EXPECT_NE(got.find("VmPeak:"), std::string::npos);
}

// Sizes are 64-bit: a file too large for a series is refused, not cut.
TEST_F(Files, AFileTooLargeForASeriesRaisesCannotOpen) {
    std::string path = dir + "big";
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (int64_t{1} << 32) + 10), 0);
    ::close(fd);
    EXPECT_EQ(run("read/binary " + f("big")), "error cannot-open");
    EXPECT_EQ(run("read/binary/seek/part " + f("big") + " 4294967300 4"), "#{00000000}");
    EXPECT_EQ(run("read/binary/part " + f("big") + " 3"), "#{000000}");
}

// The checksum of a file is taken over the whole file, read in pieces: a
// file that spans several pieces and ends inside one (odd, for the 16-bit
// words of tcp), and the same bytes through a FIFO, against python.
TEST_F(Files, ChecksumOfAFileAgreesWithPython) {
    std::string data = python_peer::noise((3 << 20) + 12345, 11);
    put("data", data);
    std::string key(200, 'k');
    struct Method {
        const char* word;
        const char* key;  // for HMAC, else null
    } methods[] = {{"crc32", nullptr},  {"adler32", nullptr}, {"tcp", nullptr},
                   {"md5", nullptr},    {"sha1", nullptr},    {"sha256", nullptr},
                   {"sha384", nullptr}, {"sha512", nullptr},  {"sha256", "key"},
                   {"sha512", key.c_str()}, {"md5", ""}};
    auto out = python_peer::run(
        "import zlib, hashlib, hmac\n"
        "def tcp(d):\n"
        "    if len(d) % 2: d += b'\\0'\n"
        "    s = sum(struct.unpack('>%dH' % (len(d) // 2), d))\n"
        "    while s >> 16: s = (s & 0xFFFF) + (s >> 16)\n"
        "    return ~s & 0xFFFF\n"
        "d, key = records()\n"
        "def signed(n): return n - (1 << 32) if n >= 1 << 31 else n\n"
        "print(signed(zlib.crc32(d)), signed(zlib.adler32(d)), tcp(d))\n"
        "for m in ('md5', 'sha1', 'sha256', 'sha384', 'sha512'): print(hashlib.new(m, d).hexdigest().upper())\n"
        "print(hmac.new(b'key', d, 'sha256').hexdigest().upper())\n"
        "print(hmac.new(key, d, 'sha512').hexdigest().upper())\n"
        "print(hmac.new(b'', d, 'md5').hexdigest().upper())\n",
        {data, key});
    ASSERT_TRUE(out) << "python3 did not run";
    std::istringstream lines(*out);
    std::vector<std::string> expected;
    for (std::string w; lines >> w;) expected.push_back(w);
    ASSERT_EQ(expected.size(), std::size(methods));
    auto checksum_of = [&](const std::string& target, const Method& m) {
        std::string call = m.key ? "checksum/with " + target + " '" + m.word + " {" + m.key + "}"
                                 : "checksum " + target + " '" + m.word;
        // Integers signed, digests as their hexadecimal text.
        std::string got = run("v: " + call + " either binary? v [enbase/base v 16][v]");
        if (got.front() == '"' || got.front() == '{') got = got.substr(1, got.size() - 2);
        return got;
    };
    for (size_t i = 0; i < std::size(methods); ++i)
        EXPECT_EQ(checksum_of(f("data"), methods[i]), expected[i]) << methods[i].word << (methods[i].key ? " with a key" : "");
    pid_t pid = feed_fifo("fifo", data);
    EXPECT_EQ(checksum_of(f("fifo"), methods[4]), expected[4]);
    EXPECT_TRUE(wrote_all(pid));
    EXPECT_EQ(run("checksum " + f("") + " 'md5"), "error cannot-open");  // a directory
    EXPECT_EQ(run("checksum " + f("missing") + " 'md5"), "error cannot-open");
}

// Over 4 GiB, where a 32-bit count would take only the last few bytes: a
// sparse file (its hole costs no memory on tmpfs), checksummed whole.
TEST_F(Files, ChecksumOfAFileOver4GiB) {
    struct statfs fs;
    if (statfs("/dev/shm", &fs) != 0 || fs.f_type != TMPFS_MAGIC)
        GTEST_SKIP() << "no tmpfs at /dev/shm: reading a large hole elsewhere is slow";
    std::string path = "/dev/shm/" + dir.substr(5, dir.size() - 6) + "-big";
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const char tail[] = "tail!";
    bool made = pwrite(fd, tail, 5, int64_t{1} << 32) == 5;
    ::close(fd);
    ASSERT_TRUE(made);
    auto want = python_peer::run_text(
        "import zlib\n"
        "a = 1\n"
        "with open('" + path + "', 'rb') as f:\n"
        "    for b in iter(lambda: f.read(1 << 20), b''): a = zlib.adler32(b, a)\n"
        "print(a)\n");
    std::string got = run("checksum %" + path + " 'adler32");
    unlink(path.c_str());
    ASSERT_NE(want, "") << "python3 did not run";
    EXPECT_EQ(got + "\n", want);
}

TEST_F(Files, Directories) {
    ASSERT_EQ(mkdir((dir + "sub").c_str(), 0700), 0);
    put("sub/x.txt", "x");
    ASSERT_EQ(mkdir((dir + "sub/inner").c_str(), 0700), 0);
    std::string listing = run("sort read " + f("sub/"));
    if (listing.rfind("error", 0) == 0) listing = run("read " + f("sub/"));
    EXPECT_TRUE(listing == "[%inner/ %x.txt]" || listing == "[%x.txt %inner/]") << listing;
    EXPECT_EQ(run("read " + f("sub")), "error cannot-open");
    EXPECT_EQ(run("read " + f("nowhere/")), "error cannot-open");
    EXPECT_EQ(run("read " + f("missing.txt")), "error cannot-open");
    EXPECT_EQ(run("delete " + f("sub/")), "false");  // not empty
    EXPECT_EQ(run("delete " + f("sub/inner/")), "true");
    EXPECT_EQ(run("delete " + f("sub/x.txt")), "true");
    EXPECT_EQ(run("delete " + f("sub/x.txt")), "false");
    EXPECT_EQ(run("delete " + f("sub/")), "true");
}

TEST_F(Files, RenameAndQuery) {
    put("a.txt", "abc");
    EXPECT_EQ(run("rename " + f("a.txt") + " " + f("b.txt")), "true");
    EXPECT_EQ(disk("b.txt"), "abc");
    EXPECT_EQ(run("rename " + f("a.txt") + " " + f("c.txt")), "false");
    EXPECT_EQ(run("rename " + f("b.txt") + " \"c\""), "error expect-arg");

    struct stat st;
    ASSERT_EQ(stat((dir + "b.txt").c_str(), &st), 0);
    std::tm t{};
    gmtime_r(&st.st_mtim.tv_sec, &t);
    char expected[64];
    std::strftime(expected, sizeof expected, "%Y", &t);
    EXPECT_EQ(run("(query " + f("b.txt") + ") = query " + f("b.txt")), "true");
    EXPECT_EQ(run("q: query " + f("b.txt") + " q/year"), expected);
    EXPECT_EQ(run("query " + f("b.txt/")), "none");
    EXPECT_EQ(run("query " + f("nothing")), "none");
    EXPECT_EQ(run("size? " + f("b.txt")), "3");
}

// rename never takes an existing name, whatever kind of entry holds it, and
// then changes nothing. The same holds for the way taken where the file
// system refuses the no-replace rename (link and unlink, or a check for a
// directory), run here directly.
TEST_F(Files, RenameNeverReplacesAnExistingEntry) {
    struct Case {
        const char* from;
        const char* to;
        bool renamed;
    } cases[] = {
        {"file", "other", false},  {"file", "empty-dir", false}, {"file", "dangling", false},
        {"file", "file", false},   {"dir", "empty-dir", false},  {"dir", "other", false},
        {"dir", "dangling", false}, {"file", "new", true},       {"dir", "new", true},
        {"gone", "new", false},
    };
    // Each case in a fresh folder: "file" and "other" hold their names,
    // "dir" holds a file, "empty-dir" is empty, "dangling" links nowhere.
    auto lay_out = [&](const std::string& at) {
        ASSERT_EQ(mkdir(at.c_str(), 0700), 0);
        put(at.substr(dir.size()) + "/file", "file");
        put(at.substr(dir.size()) + "/other", "other");
        ASSERT_EQ(mkdir((at + "/dir").c_str(), 0700), 0);
        put(at.substr(dir.size()) + "/dir/in", "in");
        ASSERT_EQ(mkdir((at + "/empty-dir").c_str(), 0700), 0);
        ASSERT_EQ(symlink("nowhere", (at + "/dangling").c_str()), 0);
    };
    // Every entry under the folder, sorted, with its kind or content.
    std::function<std::string(const std::string&)> layout_of = [&](const std::string& at) {
        std::vector<std::string> names;
        if (DIR* d = opendir(at.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        std::string out;
        for (const auto& n : names) {
            std::string p = at + "/" + n;
            struct stat st;
            lstat(p.c_str(), &st);
            char target[256] = {};
            if (S_ISLNK(st.st_mode) && readlink(p.c_str(), target, sizeof target - 1) >= 0)
                out += n + " -> " + target + "\n";
            else if (S_ISDIR(st.st_mode))
                out += n + "/ [" + layout_of(p) + "]\n";
            else
                out += n + " " + disk(p.substr(dir.size())) + "\n";
        }
        return out;
    };
    std::function<bool(const std::string&, const std::string&)> ways[] = {
        [&](const std::string& a, const std::string& b) {
            return run("rename %" + a + " %" + b) == "true";
        },
        [](const std::string& a, const std::string& b) { return simple_io::rename_by_link(a.c_str(), b.c_str()); },
    };
    int n = 0;
    for (const auto& way : ways)
        for (const auto& c : cases) {
            std::string at = dir + "case" + std::to_string(n++);
            lay_out(at);
            std::string before = layout_of(at);
            ASSERT_NE(before, "");
            std::string from = at + "/" + c.from, to = at + "/" + c.to;
            EXPECT_EQ(way(from, to), c.renamed) << c.from << " -> " << c.to << " in " << at;
            std::string after = layout_of(at);
            if (!c.renamed) {
                EXPECT_EQ(after, before) << c.from << " -> " << c.to;
            } else {
                struct stat st;
                EXPECT_NE(lstat(from.c_str(), &st), 0) << c.from;
                std::string moved = c.from == std::string("file") ? disk(to.substr(dir.size())) : disk(to.substr(dir.size()) + "/in");
                EXPECT_EQ(moved, c.from == std::string("file") ? "file" : "in");
            }
        }
}

// Names that are not UTF-8, made by python from bytes, are listed with each
// stray byte kept, so that the listed name reaches the same entry: read,
// exists?, size?, rename and delete, inside a folder so named too, and from
// it as the current directory.
TEST_F(Files, NamesThatAreNotUtf8ReachTheSameEntry) {
    std::string made = python_peer::run_text(
        "import os\n"
        "d = b'" + dir + "odd/'\n"
        "os.mkdir(d)\n"
        "os.mkdir(d + b'sub\\xfe')\n"
        "names = [b'n\\xffa\\xc3.txt', b'caf\\xe9', b'\\xed\\xb2\\x80', 'é.txt'.encode(), b'sub\\xfe/in\\x80\\x80']\n"
        "for i, n in enumerate(names): open(d + n, 'wb').write(str(i + 1).encode())\n"
        "print('made')\n");
    ASSERT_EQ(made, "made\n") << "python3 did not run";
    std::string odd = f("odd/");
    // Every file, in the folder and the one below it, as the listing names it.
    run("files: copy [] foreach e read " + odd + " [either dir? e [foreach g read rejoin [" + odd +
        " e] [append files rejoin [" + odd + " e g]]][append files rejoin [" + odd + " e]]]");
    EXPECT_EQ(run("length? files"), "5");
    EXPECT_EQ(run("r: copy [] foreach p files [append r read p] sort r"), "[\"1\" \"2\" \"3\" \"4\" \"5\"]");
    EXPECT_EQ(run("r: copy [] foreach p files [append r all [exists? p 1 = size? p]] r"),
              "[true true true true true]");
    // A stray byte is one character: "n", FF, "a", C3 and ".txt" are 8.
    EXPECT_EQ(run("sort collect [foreach p files [keep length? second split-path p]]"), "[3 4 4 5 8]");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(run("foreach e read " + odd + " [if dir? e [change-dir rejoin [" + odd + " e]]] read first read %./"),
              "\"5\"");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(run("r: copy [] foreach p files [append r rename p rejoin [p %.moved]] r"),
              "[true true true true true]");
    std::string listing = python_peer::run_text(
        "import os\n"
        "d = b'" + dir + "odd/'\n"
        "for root, dirs, files in os.walk(d):\n"
        "    for n in sorted(files): print(repr(os.path.relpath(os.path.join(root, n), d)), open(os.path.join(root, n), 'rb').read())\n");
    EXPECT_EQ(listing,
              "b'caf\\xe9.moved' b'2'\n"
              "b'n\\xffa\\xc3.txt.moved' b'1'\n"
              "b'\\xc3\\xa9.txt.moved' b'4'\n"
              "b'\\xed\\xb2\\x80.moved' b'3'\n"
              "b'sub\\xfe/in\\x80\\x80.moved' b'5'\n");
    EXPECT_EQ(run("r: copy [] foreach p files [append r delete rejoin [p %.moved]] r"),
              "[true true true true true]");
    EXPECT_EQ(run("foreach e read " + odd + " [delete rejoin [" + odd + " e]] read " + odd), "[]");
}

// A NUL would end the name early at the system and reach another entry:
// every way a name goes to the system refuses it, as read does, and leaves
// nothing behind.
TEST_F(Files, NamesHoldingNulAreRefused) {
    put("t", "t");
    ASSERT_EQ(mkdir((dir + "d").c_str(), 0700), 0);
    std::string cases[] = {
        "exists? to file! {" + dir + "d^@/x}",   "make-dir to file! {" + dir + "n^@x}",
        "make-dir/deep to file! {" + dir + "n^@x/y/}",
        "create-dir to file! {" + dir + "n^@x}", "size? to file! {" + dir + "t^@x}",
        "query to file! {" + dir + "t^@x}",      "read to file! {" + dir + "t^@x}",
        "read to file! {" + dir + "d^@x/}",      "write to file! {" + dir + "w^@x} {a}",
        "delete to file! {" + dir + "t^@x}",     "delete to file! {" + dir + "d^@x/}",
        "rename to file! {" + dir + "t^@x} " + f("u"), "rename " + f("t") + " to file! {" + dir + "u^@x}",
        "checksum to file! {" + dir + "t^@x} 'md5", "change-dir to file! {" + dir + "d^@x/}",
        "set-current-dir to file! {" + dir + "d^@x/}",
    };
    for (const auto& c : cases) EXPECT_EQ(run(c), "error cannot-open") << c;
    std::string left = run("sort read " + f(""));
    EXPECT_EQ(left, "[%d/ %t]");
}

TEST_F(Files, WriteFailuresRaiseCannotOpen) {
    EXPECT_EQ(run("write " + f("no/such/dir/x.txt") + " \"a\""), "error cannot-open");
    EXPECT_EQ(run("write " + f("") + " \"a\""), "error cannot-open");
    EXPECT_EQ(run("write/as " + f("x.txt") + " \"a\" 'utf8"), "error not-done");
    EXPECT_EQ(run("read/as " + f("x.txt") + " 'utf8"), "error not-done");
}

TEST_F(Files, DirNames) {
    const char* dirs[] = {"a/", "a\\", ".", "..", "a/.", "a/..", "/"};
    const char* files[] = {"", "a", "a.", "a..", "a/b", "...", "a/..."};
    for (const char* d : dirs) {
        Cell* s = string::rs_make_at(stack::push_slot(), 8);
        string::concatenate_literal(s, d);
        EXPECT_TRUE(simple_io::dir_q(s)) << d;
        stack::pop(1);
    }
    for (const char* d : files) {
        Cell* s = string::rs_make_at(stack::push_slot(), 8);
        string::concatenate_literal(s, d);
        EXPECT_FALSE(simple_io::dir_q(s)) << d;
        stack::pop(1);
    }
}

TEST(SystemInfo, CommandLineQuotesArgumentsWithBlanks) {
    char a0[] = "/usr/bin/zem", a1[] = "-v", a2[] = "my file.zem", a3[] = "", a4[] = "x\ty";
    char* argv[] = {a0, a1, a2, a3, a4, nullptr};
    EXPECT_EQ(platform::get_cmdline(5, argv), "/usr/bin/zem -v \"my file.zem\" \"\" \"x\ty\"");
    EXPECT_EQ(platform::get_cmdline(0, nullptr), "");
}

TEST(SystemInfo, OsInfoNamesTheKernel) {
    platform::OsInfo info = platform::os_info();
    EXPECT_EQ(info.name.rfind("Linux ", 0), 0u);
#if defined(__x86_64__)
    EXPECT_EQ(info.arch, "x86-64");
#endif
    EXPECT_GT(info.version[0], 1);
}

}  // namespace
