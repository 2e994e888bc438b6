#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/path_resolver.h"

extern char** environ;

namespace durva::platform {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool executable_file(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::vector<std::string> split_command_words(std::string_view command_line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < command_line.size()) {
        while (i < command_line.size() && is_blank(command_line[i])) ++i;
        size_t start = i;
        while (i < command_line.size() && !is_blank(command_line[i])) ++i;
        if (i > start) words.emplace_back(command_line.substr(start, i - start));
    }
    return words;
}

std::optional<std::string> find_program(std::string_view name, ProgramSearch search) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string_view::npos) {
        std::string path(name);
        return executable_file(path) ? std::optional<std::string>(path) : std::nullopt;
    }
    // The working folder first, as the command interpreter of the office's
    // machines looks there before the search path.
    if (search == ProgramSearch::WorkingFolderFirst && file_exists(name)) {
        std::string here = resolve_path(name);
        if (here.find('/') == std::string::npos) here = "./" + here;
        if (executable_file(here)) return here;
    }
    const char* path = std::getenv("PATH");
    if (!path) return std::nullopt;
    std::string_view rest(path);
    for (;;) {
        const size_t colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        // An empty entry means the working folder, already looked at; told
        // to look on the search path only, a relative entry (".", "bin")
        // would lead back into the working folder, and is passed over too.
        const bool relative = folder.empty() || folder.front() != '/';
        if (!folder.empty() && !(relative && search == ProgramSearch::SearchPathOnly)) {
            std::string candidate = folder + (folder.back() == '/' ? "" : "/") + std::string(name);
            if (executable_file(candidate)) return candidate;
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

ChildRun run_and_wait(const std::string& program, const std::vector<std::string>& args) {
    ChildRun run;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // A session of its own: the child has no controlling terminal, so even a
    // program that opens /dev/tty itself cannot disturb the screen.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        run.error = rc;
        return run;
    }
    run.started = true;
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, 0);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) {
            run.error = errno;
            return run;
        }
    }
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return run;
}

}  // namespace durva::platform
