# The zip of the Windows edition (cpack -G ZIP, or the windows workflow):
#
#     tarnsim-VERSION-windows-x86_64/
#         tarnsim.exe tarnasm.exe tarndis.exe tarngrade.exe
#         examples/    every example: source, input, expected output, image
#         esercizi/    the exercises for tarngrade, with their solutions
#         manuale/     the manual pages, as HTML made by mandoc, with the
#                      browser edition's, where the reports send for debugging
#
# The programs and the examples are installed by their own folders (the
# windows preset puts the programs and the documentation at the top); the
# debugger is not part of this edition.
find_program(MANDOC mandoc REQUIRED)
set(TARNSIM_WINDOWS_PAGES tarnsim.1 tarnasm.1 tarndis.1 tarngrade.1 tarnsim-web.7)
set(pages)
foreach(file IN LISTS TARNSIM_WINDOWS_PAGES)
    get_filename_component(page ${file} NAME_WLE)
    set(html ${PROJECT_BINARY_DIR}/manuale/${page}.html)
    add_custom_command(
        OUTPUT ${html}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/manuale
        COMMAND ${MANDOC} -T html ${PROJECT_SOURCE_DIR}/man/${file} > ${html}
        DEPENDS ${PROJECT_SOURCE_DIR}/man/${file}
        COMMENT "Pagina di manuale ${page}.html"
        VERBATIM)
    list(APPEND pages ${html})
endforeach()
add_custom_target(tarnsim_windows_manual ALL DEPENDS ${pages})
install(FILES ${pages} DESTINATION manuale)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tarnsim)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tarnsim-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
