#pragma once
// A program started by a test, ended (and reaped) when the test is done.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    // Starts `argv` with the environment plus `extraEnv` ("NAME=value", replacing).
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {}) {
        std::vector<std::string> env = extraEnv;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            bool replaced = false;
            for (const auto& x : extraEnv)
                if (entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0) replaced = true;
            if (!replaced) env.push_back(entry);
        }
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        return posix_spawnp(&m_pid, args[0], nullptr, nullptr, args.data(), envp.data()) == 0;
    }
    // Sends a signal and waits up to timeoutMs for the end; the exit status, or -1.
    int Stop(int signal, int timeoutMs) {
        if (m_pid <= 0) return m_status;
        ::kill(m_pid, signal);
        return Wait(timeoutMs);
    }
    int Wait(int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_pid > 0) {
            int status = 0;
            pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_pid = -1;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return m_status;
    }
    bool Running() const { return m_pid > 0; }
    ~ChildProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};
