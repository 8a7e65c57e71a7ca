# The archive of the static edition (cpack -G TGZ, or the static workflow):
#
#     tarnsim-VERSION-linux-ARCH/
#         tarngrade tarnsim        fully static: each runs alone, copied into
#                                  a sandbox that holds nothing else
#         tarngrade.1 tarnsim.1    their manual pages (man ./tarngrade.1)
#
# The programs are installed by their own folder (the static preset puts
# them at the top). The build makes them alone (the static build preset
# names them): the package step, like an install, builds nothing more.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(FILES ${PROJECT_SOURCE_DIR}/man/tarngrade.1 ${PROJECT_SOURCE_DIR}/man/tarnsim.1 DESTINATION .)

string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" TARNSIM_ARCHITECTURE)
set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME tarnsim)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tarnsim-${PROJECT_VERSION}-linux-${TARNSIM_ARCHITECTURE})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
