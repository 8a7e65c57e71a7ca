# The Debian package of everything the install rules put in place: the five
# programs, their manual pages and tarnsim-web(7), the examples and the
# exercises in the documentation folder, with what Debian asks of every
# package (packaging/debian): the copyright file, the changelog, compressed,
# and lintian's overrides, each with its reason. From the source folder, after
# a build:
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
# A simulator for learning how a processor works: Debian's section for
# software for teaching and learning.
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# name_version_architecture.deb, as Debian names its packages.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs without their symbol tables.
set(CPACK_STRIP_FILES ON)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND sh -c "\"$0\" -9n -c \"$1\" >\"$2\"" ${TARNSIM_GZIP} ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
            ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    VERBATIM)
add_custom_target(tarnsim_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tarnsim)

include(CPack)
