# The WebAssembly edition, built with emscripten: the portable libraries and
# their unit tests, run under node. Included by the top-level CMakeLists.txt
# when the emscripten toolchain is in use (the wasm preset).

# The grader reads TOML through toml++, which reports errors by throwing;
# emscripten leaves exceptions out unless both the compiler and the linker
# are told. 64-bit integers cross into JavaScript as BigInt. The tests read
# the fuzz corpora of the source tree through node's own file system.
add_compile_options(-fexceptions)
add_link_options(-fexceptions -sWASM_BIGINT -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1 -sNODERAWFS=1)

# Release gives -O3. The run loop must never be built for size: at -Os or
# -Oz clang spends many minutes and gigabytes on its dispatch table.
string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
if("${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${config}}" MATCHES "-O[sz]")
    message(FATAL_ERROR "The wasm build is not built for size (-Os, -Oz): "
                        "choose Release or RelWithDebInfo instead of '${CMAKE_BUILD_TYPE}'")
endif()

# toml++ and nlohmann-json are header-only: em++ is given their headers and
# nothing else of the system's include folder, through a folder of links of
# the build tree. The packages' own CMake files describe the host's build
# (the system's toml++ is a shared library), so find_package() is sent to
# small ones of our own instead, which CMake reads before any other.
set(TARNSIM_WASM_HEADERS ${PROJECT_BINARY_DIR}/wasm-headers)
file(MAKE_DIRECTORY ${TARNSIM_WASM_HEADERS})
foreach(header IN ITEMS toml++ nlohmann)
    if(NOT EXISTS /usr/include/${header})
        message(FATAL_ERROR "/usr/include/${header} is missing: the wasm build uses the Debian package's headers")
    endif()
    file(CREATE_LINK /usr/include/${header} ${TARNSIM_WASM_HEADERS}/${header} SYMBOLIC)
endforeach()

add_library(tarnsim_wasm_headers INTERFACE)
target_include_directories(tarnsim_wasm_headers SYSTEM INTERFACE ${TARNSIM_WASM_HEADERS})
add_library(tomlplusplus::tomlplusplus ALIAS tarnsim_wasm_headers)
add_library(nlohmann_json::nlohmann_json ALIAS tarnsim_wasm_headers)

# GoogleTest, from the sources of Debian's libgtest-dev, built like the rest.
if(TARNSIM_BUILD_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # It names its targets GTest::gtest and GTest::gtest_main itself.
endif()

set(CMAKE_FIND_PACKAGE_PREFER_CONFIG ON)  # before FindGTest.cmake
foreach(package IN ITEMS tomlplusplus nlohmann_json gtest)
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${package}-config.cmake
         "# The wasm build's own: its targets are made by cmake/wasm.cmake.\n")
endforeach()
