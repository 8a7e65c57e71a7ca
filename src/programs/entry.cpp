// The POSIX entry point: the arguments are the bytes the program was given.
#include "programs/entry.hpp"

int main(int argc, char** argv) {
    return programMain(argc, argv);
}
