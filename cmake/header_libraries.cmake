# toml++ and nlohmann-json, the grader's two header-only libraries, for every
# build: native, Windows and WebAssembly alike. Only their own folders are
# made visible, through a folder of links in the build tree, never the whole
# of /usr/include, whose system headers are this host's and not the cross
# compilers'. toml++ is compiled in, header-only: Debian builds its shared
# library for this host only, and a program that used it would also need the
# shared C++ runtime at start-up.
#
# Targets: tarnsim::toml, tarnsim::json.
set(TARNSIM_HEADER_LIBRARIES ${PROJECT_BINARY_DIR}/header-libraries)
file(MAKE_DIRECTORY ${TARNSIM_HEADER_LIBRARIES})
foreach(folder IN ITEMS toml++ nlohmann)
    if(NOT EXISTS /usr/include/${folder})
        message(FATAL_ERROR "Mancano le intestazioni /usr/include/${folder}: "
                            "scripts/setup installa libtomlplusplus-dev e nlohmann-json3-dev")
    endif()
    file(CREATE_LINK /usr/include/${folder} ${TARNSIM_HEADER_LIBRARIES}/${folder} SYMBOLIC)
endforeach()

add_library(tarnsim_toml INTERFACE)
target_include_directories(tarnsim_toml SYSTEM INTERFACE ${TARNSIM_HEADER_LIBRARIES})
target_compile_definitions(tarnsim_toml INTERFACE TOML_HEADER_ONLY=1)
add_library(tarnsim::toml ALIAS tarnsim_toml)

add_library(tarnsim_json INTERFACE)
target_include_directories(tarnsim_json SYSTEM INTERFACE ${TARNSIM_HEADER_LIBRARIES})
add_library(tarnsim::json ALIAS tarnsim_json)
