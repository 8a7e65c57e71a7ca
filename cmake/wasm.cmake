# The WebAssembly edition, built with emscripten: the portable libraries and
# their unit tests, run under node. Included by the top-level CMakeLists.txt
# when the emscripten toolchain is in use (the wasm preset).

# The grader reads TOML through toml++, which reports errors by throwing;
# emscripten leaves exceptions out unless both the compiler and the linker
# are told. 64-bit integers cross into JavaScript as BigInt.
add_compile_options(-fexceptions)
add_link_options(-fexceptions -sWASM_BIGINT -sALLOW_MEMORY_GROWTH=1)
# The browser edition's module is downloaded by every visitor: optimised
# across the libraries at link time, it is some 3% smaller, no slower.
if(TARNSIM_WEB)
    add_compile_options(-flto)
    add_link_options(-flto)
endif()
# The tests are programs run by node: they end when main returns and read
# the fuzz corpora of the source tree through node's own file system.
# tests/CMakeLists.txt links them with these; the browser edition's module
# has neither.
set(TARNSIM_WASM_TEST_LINK_OPTIONS -sEXIT_RUNTIME=1 -sNODERAWFS=1)

# Release gives -O3. The run loop must never be built for size: at -Os or
# -Oz clang spends many minutes and gigabytes on its dispatch table.
string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
if("${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${config}}" MATCHES "-O[sz]")
    message(FATAL_ERROR "The wasm build is not built for size (-Os, -Oz): "
                        "choose Release or RelWithDebInfo instead of '${CMAKE_BUILD_TYPE}'")
endif()

# GoogleTest, from the sources of Debian's libgtest-dev, built like the rest.
if(TARNSIM_BUILD_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # It names its targets GTest::gtest and GTest::gtest_main itself.
endif()

set(CMAKE_FIND_PACKAGE_PREFER_CONFIG ON)  # before FindGTest.cmake
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
     "# The wasm build's own: its targets are made by cmake/wasm.cmake.\n")
