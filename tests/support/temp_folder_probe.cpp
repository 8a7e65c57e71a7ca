// A test process in miniature, for temp_folder_test.cpp: with TMPDIR set to
// its first argument, it writes a file in its process folder, prints the
// folder's path on a line, and then ends the way its second argument says:
//   exit       returns from main
//   throw      lets an exception escape (std::terminate, then abort)
//   abort      calls std::abort
//   fault      writes to a read-only page
//   overflow   recurses until the stack runs out
//   terminate  sends itself SIGTERM
//   interrupt  sends itself SIGINT
//   fork       a child of it calls exit; it prints "kept" if its folder is
//              still there after that, then returns from main
#include "support/process.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int deeper(int depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    return depth == -1 ? 0 : deeper(depth + 1) + frame[0];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const rlimit noCore{0, 0};  // a crash leaves no core file behind either
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::setenv("TMPDIR", argv[1], 1);
    tarntest::writeTempFile("prova.txt", "prova\n");
    std::printf("%s\n", tarntest::processFolder().c_str());
    std::fflush(stdout);

    const std::string_view ending = argv[2];
    if (ending == "throw") throw std::runtime_error("fine");
    if (ending == "abort") std::abort();
    if (ending == "fault") {
        void* page = ::mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED) return 3;
        *static_cast<volatile char*>(page) = 1;
    }
    if (ending == "overflow") return deeper(0);
    if (ending == "terminate") ::kill(::getpid(), SIGTERM);
    if (ending == "interrupt") ::kill(::getpid(), SIGINT);
    if (ending == "fork") {
        const pid_t child = ::fork();
        if (child == 0) std::exit(0);
        ::waitpid(child, nullptr, 0);
        if (std::filesystem::exists(tarntest::processFolder() / "prova.txt")) std::printf("kept\n");
        return 0;
    }
    return ending == "exit" ? 0 : 4;
}
