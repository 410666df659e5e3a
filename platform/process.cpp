#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

extern char** environ;

namespace platform {

namespace {

// A descriptor closed when it goes out of scope.
struct Fd {
    int fd = -1;
    Fd() = default;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    // Takes the descriptor, moved above the standard ones: with a standard
    // stream of ours closed, a new descriptor may be 0, 1 or 2, and the
    // child's dup2 onto those numbers must not overwrite a source not yet
    // copied.
    bool take(int d) {
        close();
        if (d >= 0 && d <= 2) {
            int high = ::fcntl(d, F_DUPFD_CLOEXEC, 3);
            ::close(d);
            d = high;
        }
        fd = d;
        return fd >= 0;
    }
};

bool make_pipe(Fd& read_end, Fd& write_end) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return false;
    read_end.take(p[0]);
    write_end.take(p[1]);
    return read_end.fd >= 0 && write_end.fd >= 0;
}

// The child's end of one stream: a descriptor in `child` (none for the
// parent's own stream) and, for a buffer, the parent's end of the pipe.
bool open_stream(const ProcessStream& s, bool input, Fd& child, Fd& parent) {
    switch (s.mode) {
        case ProcessStream::Inherit: return true;
        case ProcessStream::Discard: return child.take(::open("/dev/null", (input ? O_RDONLY : O_WRONLY) | O_CLOEXEC));
        case ProcessStream::File: {
            int flags = input ? O_RDONLY : (O_WRONLY | O_CREAT | O_APPEND);
            if (!child.take(::open(s.path.c_str(), flags | O_CLOEXEC, 0666))) return false;
            // A directory opens for reading but gives the child nothing.
            struct stat st;
            return ::fstat(child.fd, &st) == 0 && !S_ISDIR(st.st_mode);
        }
        case ProcessStream::Buffer: return input ? make_pipe(child, parent) : make_pipe(parent, child);
    }
    return false;
}

// Spawns with the three child ends (-1: the parent's stream); answers the
// process id, or minus the error number.
int64_t spawn(const ProcessRequest& request, const int (&ends)[3]) {
    std::vector<char*> argv;
    for (const std::string& a : request.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (int i = 0; i < 3; ++i)
        if (ends[i] >= 0) posix_spawn_file_actions_adddup2(&actions, ends[i], i);
    // Whatever else is open here, made by us or a library without
    // close-on-exec, stays here.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // We ignore SIGPIPE (a closed pipe is an error return for us); the
    // child gets the default back, and no blocked signals.
    sigset_t none, pipe_signal;
    sigemptyset(&none);
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    sigaddset(&pipe_signal, SIGXFSZ);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipe_signal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return rc == 0 ? pid : -static_cast<int64_t>(rc);
}

int64_t spawn_result(int64_t spawned) {
    if (spawned >= 0) return spawned;
    return spawned == -ENOENT ? PROGRAM_NOT_FOUND : PROCESS_FAILED;
}

// Starts the program through a short-lived intermediate process that
// reports the program's id and exits: the program is then a child of init,
// which reaps it, and the intermediate is reaped here at once.
int64_t spawn_detached(const ProcessRequest& request, const int (&ends)[3]) {
    Fd report_read, report_write;
    if (!make_pipe(report_read, report_write)) return PROCESS_FAILED;
    pid_t middle = ::fork();
    if (middle < 0) return PROCESS_FAILED;
    if (middle == 0) {
        int64_t spawned = spawn(request, ends);
        ssize_t n = ::write(report_write.fd, &spawned, sizeof spawned);
        ::_exit(n == sizeof spawned ? 0 : 1);
    }
    report_write.close();
    int64_t spawned = -EIO;
    ssize_t n;
    do n = ::read(report_read.fd, &spawned, sizeof spawned);
    while (n < 0 && errno == EINTR);
    if (n != sizeof spawned) spawned = -EIO;
    int status;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return spawn_result(spawned);
}

int wait_for(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return static_cast<int>(PROCESS_FAILED);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return static_cast<int>(PROCESS_FAILED);
}

// Feeds the input and collects the output and error until all three pipes
// are closed, whichever order the child serves them in. A child that
// closes its input early ends the feeding (EPIPE), not the collecting.
void exchange(Fd& input, const std::string& in, Fd& output, std::string* out, Fd& error, std::string* err) {
    size_t written = 0;
    if (input.fd >= 0) {
        if (in.empty())
            input.close();
        else
            ::fcntl(input.fd, F_SETFL, ::fcntl(input.fd, F_GETFL) | O_NONBLOCK);
    }
    char buffer[65536];
    for (;;) {
        pollfd fds[3];
        Fd* owners[3];
        std::string* sinks[3];
        nfds_t n = 0;
        if (input.fd >= 0) fds[n] = {input.fd, POLLOUT, 0}, owners[n] = &input, sinks[n++] = nullptr;
        if (output.fd >= 0) fds[n] = {output.fd, POLLIN, 0}, owners[n] = &output, sinks[n++] = out;
        if (error.fd >= 0) fds[n] = {error.fd, POLLIN, 0}, owners[n] = &error, sinks[n++] = err;
        if (n == 0) return;
        if (::poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            input.close(), output.close(), error.close();
            return;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            if (!sinks[i]) {
                size_t chunk = std::min(in.size() - written, sizeof buffer);
                ssize_t w = ::write(fds[i].fd, in.data() + written, chunk);
                if (w > 0) written += static_cast<size_t>(w);
                if ((w < 0 && errno != EAGAIN && errno != EINTR) || written == in.size()) owners[i]->close();
            } else {
                ssize_t r = ::read(fds[i].fd, buffer, sizeof buffer);
                if (r > 0)
                    sinks[i]->append(buffer, static_cast<size_t>(r));
                else if (r == 0 || (errno != EAGAIN && errno != EINTR))
                    owners[i]->close();
            }
        }
    }
}

}  // namespace

int64_t run_process(ProcessRequest& request) {
    if (request.argv.empty() || request.argv[0].empty()) return PROGRAM_NOT_FOUND;
    for (const std::string& a : request.argv)
        if (a.find('\0') != std::string::npos) return PROCESS_FAILED;
    Fd child[3], parent[3];
    ProcessStream* streams[3] = {&request.input, &request.output, &request.error};
    bool buffered = false;
    for (int i = 0; i < 3; ++i) {
        if (!open_stream(*streams[i], i == 0, child[i], parent[i])) return PROCESS_FAILED;
        buffered |= streams[i]->mode == ProcessStream::Buffer;
    }
    int ends[3] = {child[0].fd, child[1].fd, child[2].fd};
    if (!request.wait && !buffered) return spawn_detached(request, ends);
    int64_t spawned = spawn(request, ends);
    if (spawned < 0) return spawn_result(spawned);
    pid_t pid = static_cast<pid_t>(spawned);
    // The child's ends are the child's now: its closing them is what ends
    // the collecting.
    for (Fd& c : child) c.close();
    try {
        exchange(parent[0], request.input.data, parent[1], &request.output.data, parent[2], &request.error.data);
    } catch (...) {
        // No room for what it writes: the child is stopped rather than left
        // blocked on a pipe nobody reads.
        for (Fd& p : parent) p.close();
        ::kill(pid, SIGKILL);
        wait_for(pid);
        throw;
    }
    return wait_for(pid);
}

std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::vector<std::string> shell_argv(const std::string& command) { return {"/bin/sh", "-c", command}; }

}  // namespace platform
