#include "testing/RunProgram.h"

#include "testing/SmallDisk.h"
#include "testing/TestFiles.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testfiles {

std::string SiblingProgram(const std::string& name)
{
    return (std::filesystem::path(ProgramFolder()) / name).string();
}

std::string HostPath(const std::string& name)
{
    return name;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder, const std::vector<std::string>& environment)
{
    std::vector<std::string> variables(environment);
    for (char** entry = environ; *entry; ++entry) {
        std::string_view variable(*entry);
        std::string_view name = variable.substr(0, variable.find('='));
        if (std::none_of(environment.begin(), environment.end(),
                         [&](const std::string& added) { return added.starts_with(std::string(name) + "="); }))
            variables.emplace_back(variable);
    }
    std::vector<char*> envp;
    for (auto& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    ScratchFolder capture;
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    std::string out = capture.file("out"), err = capture.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t child = 0;
    int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        throw std::runtime_error("cannot start " + program);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ProgramResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadBytes(out);
    result.err = ReadBytes(err);
    return result;
}

}  // namespace testfiles
