// Files and directories through read, write, delete, rename, query and
// size? on real files: checked against what the operating system holds
// (bytes on disk, stat, a FIFO fed by a child, a sparse file).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include "evaluate.h"
#include "booted.h"
#include "datatypes/binary.h"
#include "datatypes/date.h"
#include "evaluator/interpreter.h"
#include "platform/system_info.h"
#include "runtime/top_level.h"
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
    std::string path = dir + "fifo";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::string payload;
    for (int i = 0; payload.size() < 200000; ++i) payload += "line " + std::to_string(i) + "\n";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
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
    std::string text = run("length? read " + f("fifo"));
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text, std::to_string(payload.size()));
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
