# The Debian package of everything the install rules put in place: the five
# programs, their manual pages, the examples and the exercises in the
# documentation folder. From the source folder, after a build:
#
#     cpack --config build/CPackConfig.cmake
#
# writes build/tarnsim_VERSION_amd64.deb. Its dependencies are the libraries
# the programs really link, as dpkg-shlibdeps (package dpkg-dev) finds them.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnsim)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_PACKAGE_CONTACT "tarnsim maintainers <maintainers@tarnsim.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "simulator of a small 8-bit computer, for learning")
set(CPACK_PACKAGE_DESCRIPTION [[tarnsim simulates a small hypothetical 8-bit von Neumann computer, for
learning how a processor fetches, decodes and executes. The package holds
the simulator tarnsim, the assembler tarnasm, the disassembler tarndis, the
debugger tarndbg and the grader tarngrade for teachers, with their manual
pages (in Italian), example programs and example exercises.]])
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# name_version_architecture.deb, as Debian names its packages.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs without their symbol tables.
set(CPACK_STRIP_FILES ON)

include(CPack)
