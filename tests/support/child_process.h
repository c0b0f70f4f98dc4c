#pragma once

// A program run as a child process, as a user would start it: its arguments
// passed as they are (bytes included, no shell), its standard output
// captured, its standard error captured apart or in the same stream.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

extern char **environ;

class ChildProcess {
public:
    enum class Errors { apart, merged };

    struct Ending {
        int exitCode = -1;  // -1 when a signal ended it
        int signal = 0;     // the signal that ended it, or 0
        std::string out;
        std::string err;  // empty when merged
    };

    ChildProcess(const std::string &program, const std::vector<std::string> &arguments,
                 Errors errors = Errors::apart)
        : errors_(errors)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return;
        errFile_ = std::tmpfile();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errors == Errors::merged ? pipeEnds[1] : fileno(errFile_),
                                         STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        out_ = pipeEnds[0];
    }

    ~ChildProcess()
    {
        if (out_ >= 0)
            close(out_);
        if (errFile_)
            std::fclose(errFile_);
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    pid_t pid() const { return pid_; }

    // The next line of its standard output, as soon as it is written;
    // nothing once the output has ended.
    std::optional<std::string> readLine()
    {
        char c;
        std::string line;
        while (read(out_, &c, 1) == 1) {
            read_ += c;
            if (c == '\n')
                return line;
            line += c;
        }
        return std::nullopt;
    }

    // Goes away as a reader does that has read enough (`| head -n 1`): the
    // child's next write to its standard output fails.
    void closeOutput()
    {
        if (out_ >= 0)
            close(out_);
        out_ = -1;
    }

    // Reads everything the child writes and waits for its end.
    Ending wait()
    {
        Ending ending;
        ending.out = read_;
        char chunk[4096];
        ssize_t n;
        while (out_ >= 0 && (n = read(out_, chunk, sizeof chunk)) > 0)
            ending.out.append(chunk, static_cast<std::size_t>(n));
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
            if (WIFEXITED(status))
                ending.exitCode = WEXITSTATUS(status);
            if (WIFSIGNALED(status))
                ending.signal = WTERMSIG(status);
        }
        if (errors_ == Errors::apart && errFile_) {
            std::rewind(errFile_);
            std::size_t got;
            while ((got = std::fread(chunk, 1, sizeof chunk, errFile_)) > 0)
                ending.err.append(chunk, got);
        }
        return ending;
    }

private:
    Errors errors_;
    pid_t pid_ = 0;
    int out_ = -1;
    std::FILE *errFile_ = nullptr;
    std::string read_;  // by readLine()
};
