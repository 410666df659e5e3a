// Running a piece of code in a child process and collecting what it wrote
// to standard output and how it ended.
#pragma once
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_child {

struct Outcome {
    int status = -1;      // exit status, or -1 when killed by a signal
    int signal = 0;       // the signal that killed it
    std::string output;   // standard output
};

inline Outcome run(const std::function<void()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[1]);
        body();
        fflush(nullptr);
        _exit(0);
    }
    close(fds[1]);
    Outcome out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.output.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (WIFEXITED(st)) out.status = WEXITSTATUS(st);
    if (WIFSIGNALED(st)) out.signal = WTERMSIG(st);
    return out;
}

}  // namespace testing_child
