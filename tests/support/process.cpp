#include "support/process.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace tarntest {

namespace {

void closeQuietly(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    ::signal(SIGPIPE, SIG_IGN);
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe(inPipe) || ::pipe(outPipe) || ::pipe(errPipe)) throw std::runtime_error("pipe");

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        if (options.newSession) ::setsid();
        if (options.input) {
            ::dup2(inPipe[0], STDIN_FILENO);
        } else {
            const int devNull = ::open("/dev/null", O_RDONLY);
            ::dup2(devNull, STDIN_FILENO);
        }
        if (!options.outputPath.empty()) {
            const int file = ::open(options.outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(file, STDOUT_FILENO);
        } else {
            ::dup2(outPipe[1], STDOUT_FILENO);
        }
        ::dup2(errPipe[1], STDERR_FILENO);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) ::close(fd);
        if (options.closeInput) ::close(STDIN_FILENO);
        if (options.closeOutput) ::close(STDOUT_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }

    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    int inFd = inPipe[1], outFd = outPipe[0], errFd = errPipe[0];
    const std::string input = options.input.value_or("");
    std::size_t inputSent = 0;
    if (!options.input || input.empty()) closeQuietly(inFd);
    else ::fcntl(inFd, F_SETFL, O_NONBLOCK);

    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    bool killed = false;
    while (outFd >= 0 || errFd >= 0) {
        pollfd fds[3];
        int count = 0;
        for (int fd : {outFd, errFd}) if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
        if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
        const int ready = ::poll(fds, static_cast<nfds_t>(count), 100);
        if (ready < 0 && errno != EINTR) break;
        if (!killed && std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
        for (int i = 0; i < count; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLOUT | POLLHUP | POLLERR))) continue;
            if (fds[i].fd == inFd) {
                const ssize_t sent = ::write(inFd, input.data() + inputSent, input.size() - inputSent);
                if (sent > 0) inputSent += static_cast<std::size_t>(sent);
                if (sent < 0 && errno != EAGAIN) closeQuietly(inFd);
                if (inputSent == input.size()) closeQuietly(inFd);
                continue;
            }
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            std::string& sink = fds[i].fd == outFd ? result.out : result.err;
            if (got > 0) sink.append(buffer, static_cast<std::size_t>(got));
            else if (fds[i].fd == outFd) closeQuietly(outFd);
            else closeQuietly(errFd);
        }
    }
    closeQuietly(inFd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    if (killed) throw std::runtime_error("the program did not end within the time limit");
    return result;
}

std::string writeTempFile(const std::string& name, const std::string& content) {
    const char* base = std::getenv("TMPDIR");
    const std::filesystem::path folder =
        std::filesystem::path(base ? base : "/tmp") / ("tarnsim-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    return path.string();
}

std::string bytes(std::initializer_list<int> values) {
    std::string result;
    for (int value : values) result.push_back(static_cast<char>(value));
    return result;
}

}  // namespace tarntest
