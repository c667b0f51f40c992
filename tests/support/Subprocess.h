// Runs a real program for a test: its arguments, changes to the environment, standard input;
// gives back its exit status and what it wrote to standard output and error. Output goes
// through files, so a program that writes much never blocks on a full pipe. A program that
// does not end by the deadline is killed and reported as unfinished.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDir.h"

extern char** environ;

namespace testsupport {

struct RunResult {
    bool finished = false; // ended by itself before the deadline
    int exitCode = -1;     // -1 when it ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// An argument and environment list made before fork, so the child only calls what is safe
// there. env: "NAME=VALUE" sets, "NAME" alone removes; everything else is inherited (sanitizer
// options included).
class Exec {
public:
    Exec(const std::vector<std::string>& argv, const std::vector<std::string>& env) : argv_(argv) {
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const std::string& change : env)
                replaced = replaced || change.substr(0, change.find('=')) == name;
            if (!replaced) env_.push_back(entry);
        }
        for (const std::string& change : env)
            if (change.find('=') != std::string::npos) env_.push_back(change);
        for (const std::string& a : argv_)
            args_.push_back(const_cast<char*>(a.c_str()));
        args_.push_back(nullptr);
        for (const std::string& e : env_)
            envp_.push_back(const_cast<char*>(e.c_str()));
        envp_.push_back(nullptr);
    }
    // In the child: becomes the program, or ends with 127.
    [[noreturn]] void Run() const {
        ::execve(args_[0], args_.data(), envp_.data());
        ::_exit(127);
    }

private:
    std::vector<std::string> argv_, env_;
    std::vector<char*> args_, envp_;
};

inline RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& input = {},
                     std::chrono::seconds deadline = std::chrono::seconds(120)) {
    RunResult result;
    TempDir io;
    const std::filesystem::path in = io.Path() / "in", out = io.Path() / "out",
                                err = io.Path() / "err";
    std::ofstream(in, std::ios::binary) << input;

    const Exec exec(argv, env);

    const pid_t child = ::fork();
    if (child < 0) return result;
    if (child == 0) {
        const int i = ::open(in.c_str(), O_RDONLY);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (i < 0 || o < 0 || e < 0 || ::dup2(i, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0)
            ::_exit(127);
        exec.Run();
    }
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            result.finished = true;
            break;
        }
        if (std::chrono::steady_clock::now() > until) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = ReadWholeFile(out);
    result.err = ReadWholeFile(err);
    return result;
}

// A program left running in the background, its output thrown away; killed with the object.
class Spawned {
public:
    Spawned(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        const Exec exec(argv, env);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
                ::_exit(127);
            exec.Run();
        }
    }
    ~Spawned() { Kill(SIGKILL); }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

    pid_t pid() const { return pid_; }
    // False once it has ended (and then it is reaped).
    bool Running() {
        if (pid_ <= 0) return false;
        if (::waitpid(pid_, nullptr, WNOHANG) == 0) return true;
        pid_ = -1;
        return false;
    }
    // Sends the signal and waits for the end; the wait status, or -1 when there was none.
    int Kill(int signal) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, signal);
        int status = -1;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
};

} // namespace testsupport
