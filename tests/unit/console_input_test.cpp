// ask and input over piped standard input: one line per read, no prompt or
// echo, a carriage return kept, invalid UTF-8 replaced, none at the end.
// Also the folder the console keeps its settings in, from the environment.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "console/output.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "app/runtime.h"
#include "evaluate.h"

namespace {

// Runs the code in a booted child whose standard input holds `input`,
// `before` run first in the child; answers what the child printed.
std::string run_with_input(const char* code, const std::string& input, const std::function<void()>& before = {}) {
    int in[2], out[2];
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(pipe(out), 0);
    pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        close(in[1]);
        close(out[0]);
        if (before) before();
        test_eval::start();
        test_eval::boot();
        test_eval::eval_top_level(code);
        console::flush();
        _exit(0);
    }
    close(in[0]);
    close(out[1]);
    EXPECT_EQ(write(in[1], input.data(), input.size()), (ssize_t)input.size());
    close(in[1]);
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return got;
}

TEST(ConsoleInput, PipedLinesWithoutPromptOrHistory) {
    std::string got = run_with_input(
        "h: copy [] "
        "print mold ask/history {>> } h "
        "print mold ask/history {>> } h "
        "print mold ask/history {>> } h "
        "print mold ask/history {>> } h "
        "print mold h",
        "abc\r\n\xc3\xa9\xff\nlast");
    EXPECT_EQ(got, "\"abc^M\"\n\"\xc3\xa9\xef\xbf\xbd\"\n\"last\"\nnone\n[]\n");
}

TEST(ConsoleInput, EndOfInputGivesNoneEveryTime) {
    EXPECT_EQ(run_with_input("print mold reduce [input input ask {? } input-stdin input]", "one"),
              "[\"one\" none none none none]\n");
}

TEST(CacheFolder, EmptyOrRelativeValuesCountAsUnset) {
    struct Case {
        const char* xdg;   // null: unset
        const char* home;  // null: unset
        const char* folder;
    } cases[] = {
        {"/x/cache", "/h", "/x/cache/zem/"},
        {"/x/cache/", "/h", "/x/cache/zem/"},
        {nullptr, "/h", "/h/.cache/zem/"},
        {"", "/h", "/h/.cache/zem/"},
        {"relative/cache", "/h", "/h/.cache/zem/"},
        {"", "", "/.cache/zem/"},
        {nullptr, nullptr, "/.cache/zem/"},
    };
    for (const Case& c : cases) {
        auto set = [&] {
            auto put = [](const char* name, const char* value) {
                if (value) setenv(name, value, 1);
                else unsetenv(name);
            };
            put("XDG_CACHE_HOME", c.xdg);
            put("HOME", c.home);
        };
        EXPECT_EQ(run_with_input("print mold system/options/cache", "", set), std::string("%") + c.folder + "\n")
            << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
    }
}

}  // namespace
