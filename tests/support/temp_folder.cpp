#include "support/temp_folder.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarntest {

namespace {

namespace fs = std::filesystem;

// Set once, before any handler is installed, and never freed: the handlers
// and the exit handler read them until the very end.
pid_t owner = -1;
const fs::path* folder = nullptr;
char* removeCommand[5] = {};
char* noEnvironment[1] = {};
char* handlerStack = nullptr;
struct sigaction previousActions[NSIG];

// Signals that end a process by default, and of them those a fault raises
// (which comes back when the handler returns, if nothing changed).
constexpr int ENDING_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGABRT, SIGBUS,
                                  SIGFPE, SIGSEGV, SIGTERM, SIGXCPU, SIGXFSZ};
bool isFault(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL;
}

// Only what is safe in a signal handler: rm runs in a child of its own.
extern "C" void removeOnSignal(int signal, siginfo_t* info, void*) {
    const int savedErrno = errno;
    if (::getpid() == owner) {
        const pid_t child = ::_Fork();
        if (child == 0) {
            ::execve(removeCommand[0], removeCommand, noEnvironment);
            ::_exit(127);
        }
        while (child > 0 && ::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {}
    }
    // Then what the signal would have done without this handler: a fault
    // happens again on return, any other signal is sent again (it stays
    // blocked until the handler returns).
    ::sigaction(signal, &previousActions[signal], nullptr);
    if (!isFault(signal) || info == nullptr || info->si_code <= 0) ::raise(signal);
    errno = savedErrno;
}

void removeAtExit() {
    if (::getpid() != owner) return;
    std::error_code error;
    fs::remove_all(*folder, error);
    if (!error) return;
    // A test may have left a folder that cannot be read or written.
    ::chmod(folder->c_str(), 0700);
    for (fs::recursive_directory_iterator entry(*folder, error), end; !error && entry != end; entry.increment(error))
        if (entry->is_directory(error) && !entry->is_symlink(error)) ::chmod(entry->path().c_str(), 0700);
    fs::remove_all(*folder, error);
}

void removeWhenTheProcessEnds() {
    owner = ::getpid();
    const std::string& text = folder->native();
    removeCommand[0] = const_cast<char*>("/bin/rm");
    removeCommand[1] = const_cast<char*>("-rf");
    removeCommand[2] = const_cast<char*>("--");
    removeCommand[3] = const_cast<char*>(text.c_str());
    std::atexit(removeAtExit);

    // A stack overflow leaves no stack for the handler: it gets one of its own,
    // unless something (a sanitizer) has given the process one already.
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        constexpr std::size_t size = 1 << 16;
        handlerStack = new char[size];
        stack_t stack{};
        stack.ss_sp = handlerStack;
        stack.ss_size = size;
        ::sigaltstack(&stack, nullptr);
    }
    struct sigaction action {};
    action.sa_sigaction = removeOnSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : ENDING_SIGNALS) {
        // An ignored signal (as under nohup) ends nothing: it stays ignored.
        if (::sigaction(signal, nullptr, &previousActions[signal]) != 0 ||
            previousActions[signal].sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
}

const fs::path& makeProcessFolder() {
    const char* base = std::getenv("TMPDIR");
    folder = new fs::path(fs::path(base != nullptr && *base != '\0' ? base : "/tmp") /
                          ("tarnsim-test-" + std::to_string(::getpid())));
    fs::create_directories(*folder);
    removeWhenTheProcessEnds();
    return *folder;
}

}  // namespace

const fs::path& processFolder() {
    static const fs::path& made = makeProcessFolder();
    return made;
}

std::string freshFolder(std::string_view prefix) {
    std::string pattern = (processFolder() / prefix).string() + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp: " + pattern);
    return pattern;
}

ScratchFolder::ScratchFolder(std::string_view prefix) : path_(freshFolder(prefix)) {}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchFolder::put(const std::string& name, std::string_view content) const {
    const std::filesystem::path path = path_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    return path;
}

void ScratchFolder::clear(std::initializer_list<std::string_view> kept) const {
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        const std::string name = entry.path().filename().string();
        if (std::find(kept.begin(), kept.end(), name) == kept.end()) std::filesystem::remove_all(entry.path());
    }
}

std::string fileContent(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

}  // namespace tarntest
