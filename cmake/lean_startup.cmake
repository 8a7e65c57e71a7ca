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
#   small program);
# - a program that links a shared library which itself needs the shared C++
#   runtime: the program would then hold two copies of it, with two sets of
#   exception types and allocators, and still pay for resolving the shared
#   one. The program's libraries are looked at when its folder has been
#   read, so the call may come before its target_link_libraries(); an
#   imported target that is not seen there (found in another folder) counts
#   as such a library, since nothing says it is not.
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
    # At the end of the current folder, where the imported targets that its
    # find_package() calls made are still seen. A deferred call reads its
    # arguments when it runs: the name goes in now.
    cmake_language(EVAL CODE "cmake_language(DEFER CALL _tarnsim_lean_startup_link [[${target}]])")
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

function(_tarnsim_lean_startup_link target)
    _tarnsim_shared_cxx_libraries(${target} shared)
    if(shared)
        list(JOIN shared ", " shared)
        message(STATUS "${target}: runtime C++ condiviso, perché lo usa anche ${shared}")
        return()
    endif()
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections)
endfunction()

# The shared libraries among everything TARGET links, directly or through
# static and interface libraries, that need the shared C++ runtime, or may:
# an imported target not seen from here. Targets and libraries named by their
# path are looked at; a bare -lNAME is not.
function(_tarnsim_shared_cxx_libraries target result)
    string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
    set(pending ${target})
    set(seen)
    set(found)
    while(pending)
        list(POP_FRONT pending item)
        # What a static library links privately comes as $<LINK_ONLY:NAME>.
        string(REGEX REPLACE "^\\$<LINK_ONLY:([^$<>]*)>$" "\\1" item "${item}")
        if(item STREQUAL "" OR item MATCHES "\\$<" OR item IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${item})
        set(files)
        if(TARGET ${item})
            get_target_property(aliased ${item} ALIASED_TARGET)
            if(aliased)
                list(APPEND pending ${aliased})
                continue()
            endif()
            get_target_property(type ${item} TYPE)
            get_target_property(imported ${item} IMPORTED)
            set(properties INTERFACE_LINK_LIBRARIES)
            if(NOT imported)
                list(APPEND properties LINK_LIBRARIES)
            elseif(NOT type STREQUAL "INTERFACE_LIBRARY")
                get_target_property(configurations ${item} IMPORTED_CONFIGURATIONS)
                set(locations IMPORTED_LOCATION IMPORTED_LOCATION_${config})
                foreach(configuration IN LISTS configurations)
                    string(TOUPPER "${configuration}" configuration)
                    list(APPEND locations IMPORTED_LOCATION_${configuration})
                endforeach()
                foreach(location IN LISTS locations)
                    get_target_property(file ${item} ${location})
                    if(file)
                        list(APPEND files ${file})
                    endif()
                endforeach()
            endif()
            foreach(property IN LISTS properties)
                get_target_property(libraries ${item} ${property})
                if(libraries)
                    list(APPEND pending ${libraries})
                endif()
            endforeach()
        elseif(item MATCHES "::")
            list(APPEND found ${item})
        elseif(IS_ABSOLUTE "${item}")
            list(APPEND files ${item})
        endif()
        foreach(file IN LISTS files)
            if(file MATCHES "\\.so(\\.[0-9.]+)?$" AND EXISTS "${file}" AND CMAKE_OBJDUMP)
                execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${file}"
                    OUTPUT_VARIABLE headers ERROR_QUIET RESULT_VARIABLE status)
                if(status EQUAL 0 AND headers MATCHES "NEEDED +(libstdc\\+\\+|libc\\+\\+)")
                    get_filename_component(name "${file}" NAME)
                    list(APPEND found ${name})
                endif()
            endif()
        endforeach()
    endwhile()
    list(REMOVE_DUPLICATES found)
    set(${result} ${found} PARENT_SCOPE)
endfunction()
