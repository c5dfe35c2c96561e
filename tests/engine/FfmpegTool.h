#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace quelmo::test {

// The ffmpeg command line the tests make their compressed files with: its path on PATH, or empty.
inline std::filesystem::path ffmpegProgram() {
    std::istringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    for (std::string dir; std::getline(path, dir, ':');) {
        const auto candidate = std::filesystem::path(dir) / "ffmpeg";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

// Runs program quietly, without stdin, writing `output`; true when it succeeded.
inline bool runFfmpeg(const std::filesystem::path& program, std::vector<std::string> args,
                      const std::filesystem::path& output) {
    args.insert(args.begin(), {program.string(), "-nostdin", "-v", "error", "-y"});
    args.push_back(output.string());
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = 0;
    return ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0 &&
           ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace quelmo::test
