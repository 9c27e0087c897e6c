#include "relaunch.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lv::updates {

bool relaunch_after_exit(const std::string &executable) {
    // The child waits for end-of-file on a pipe whose only writer is this process: the kernel
    // closes it when the process ends, however it ends. The write end is close-on-exec, so
    // other programs this process starts do not hold it.
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) return false;
    const char *path = executable.c_str();
    char *const argv[] = {const_cast<char *>(path), nullptr};
    pid_t first = fork();
    if (first < 0) {
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        return false;
    }
    if (first == 0) {
        // Only async-signal-safe calls from here: this process may have had other threads.
        if (fork() != 0) _exit(0);  // the grandchild is adopted, never left as our zombie
        close(pipe_ends[1]);
        setsid();
        char byte;
        for (ssize_t got; (got = read(pipe_ends[0], &byte, 1)) != 0;)
            if (got < 0 && errno != EINTR) break;
        close(pipe_ends[0]);
        execv(path, argv);
        _exit(127);
    }
    close(pipe_ends[0]);
    int status = 0;
    waitpid(first, &status, 0);
    // Keep the write end open until exit; it is this process's lifetime the child watches.
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace lv::updates
