# The header-only libraries of the grader, for the Windows edition: Debian
# ships toml++ and nlohmann-json for this host only, but their headers serve
# any target. Only their own folders are made visible to the cross compiler
# (never all of /usr/include, whose system headers are the host's), through
# a folder of the build tree, and find_package finds them there as packages
# of their own. toml++ is used header-only, as it is not built for Windows.
set(TARNSIM_WINDOWS_HEADERS ${PROJECT_BINARY_DIR}/windows-headers)
set(TARNSIM_WINDOWS_PACKAGES ${PROJECT_BINARY_DIR}/windows-packages)
file(MAKE_DIRECTORY ${TARNSIM_WINDOWS_HEADERS})
foreach(folder IN ITEMS toml++ nlohmann)
    if(NOT EXISTS /usr/include/${folder})
        message(FATAL_ERROR "Mancano le intestazioni /usr/include/${folder}: installa "
                            "libtomlplusplus-dev e nlohmann-json3-dev")
    endif()
    file(CREATE_LINK /usr/include/${folder} ${TARNSIM_WINDOWS_HEADERS}/${folder} SYMBOLIC)
endforeach()

foreach(package IN ITEMS tomlplusplus nlohmann_json)
    if(package STREQUAL "tomlplusplus")
        set(definitions TOML_HEADER_ONLY=1)
    else()
        set(definitions "")
    endif()
    file(WRITE ${TARNSIM_WINDOWS_PACKAGES}/${package}/${package}Config.cmake "
if(NOT TARGET ${package}::${package})
    add_library(${package}::${package} INTERFACE IMPORTED)
    set_target_properties(${package}::${package} PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES \"${TARNSIM_WINDOWS_HEADERS}\"
        INTERFACE_COMPILE_DEFINITIONS \"${definitions}\")
endif()
")
    set(${package}_DIR ${TARNSIM_WINDOWS_PACKAGES}/${package} CACHE PATH "" FORCE)
endforeach()
