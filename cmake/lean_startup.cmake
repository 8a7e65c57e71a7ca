# tarnsim_lean_startup(TARGET): a program that starts as fast as a plain C one.
#
# Linked against the shared C++ runtime, a program spends almost all of a
# short run in the dynamic linker, resolving the symbols of libstdc++ (about
# 1.6 of the 1.75 million host instructions of tarnsim on the one-byte image
# 0; bench/startup.sh measures it). With the C++ runtime and libgcc linked in
# statically, only the C library is left to the dynamic linker: the start
# costs about what a C program's does. The C library itself stays shared, as
# the distribution wants it (and its dependency is still found by the
# package's shared library scan); so does every other shared library.
# --gc-sections drops the parts of the static runtime that the program never
# calls (about a third of it).
#
# The options are left out, with nothing else changed, where they do not
# belong:
# - Windows and Emscripten builds, which link their runtime their own way;
# - compilers other than GCC and Clang, and formats other than ELF;
# - sanitizer builds, whose runtimes expect the shared C++ runtime;
# - a toolchain without a static C++ runtime (checked once, by linking a
#   small program).
# No program may link a shared library that itself needs the shared C++
# runtime: it would then hold two copies of it, with two sets of exception
# types and allocators. The C++ libraries are taken header-only or static
# for that (toml++, pugixml), and the test Programs.NeedNoSharedCxxRuntime
# checks the programs built.
include_guard(GLOBAL)

function(tarnsim_lean_startup target)
    if(NOT TARGET ${target})
        message(FATAL_ERROR "tarnsim_lean_startup: nessun target di nome '${target}'")
    endif()
    if(WIN32 OR EMSCRIPTEN OR APPLE)
        return()
    endif()
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$" OR NOT CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
        return()
    endif()
    string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
    set(flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${config}} ${CMAKE_EXE_LINKER_FLAGS}")
    if(flags MATCHES "sanitize")
        return()
    endif()
    _tarnsim_static_cxx_runtime_links(usable)
    if(NOT usable)
        return()
    endif()
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections)
endfunction()

# Whether this toolchain links a C++ program with the static C++ runtime and
# libgcc (a distribution may leave libstdc++.a out).
function(_tarnsim_static_cxx_runtime_links result)
    include(CheckCXXSourceCompiles)
    include(CMakePushCheckState)
    cmake_push_check_state(RESET)
    set(CMAKE_REQUIRED_LINK_OPTIONS -static-libstdc++ -static-libgcc -Wl,--gc-sections)
    set(CMAKE_REQUIRED_QUIET ON)
    check_cxx_source_compiles([[
        #include <stdexcept>
        #include <string>
        int main(int argc, char**) {
            try {
                if (argc > 5) throw std::runtime_error(std::string(3, 'x'));
            } catch (const std::exception& e) {
                return static_cast<int>(std::string(e.what()).size());
            }
            return 0;
        }]] TARNSIM_STATIC_CXX_RUNTIME)
    cmake_pop_check_state()
    set(${result} ${TARNSIM_STATIC_CXX_RUNTIME} PARENT_SCOPE)
endfunction()
