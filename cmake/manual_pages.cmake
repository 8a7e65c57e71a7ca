# The manual pages, installed as Debian installs them: compressed by gzip -9n
# (no name and no date inside, so every build gives the same bytes) into
# MANDIR/manSECTION. The five programs' pages, and tarnsim-web(7), which every
# one of them cites.

set(TARNSIM_MANUAL_PAGES tarnsim.1 tarnasm.1 tarndis.1 tarngrade.1 tarndbg.1 tarnsim-web.7)
find_program(TARNSIM_GZIP gzip REQUIRED)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
set(compressed)
foreach(page IN LISTS TARNSIM_MANUAL_PAGES)
    string(REGEX REPLACE "^.*\\." "" section ${page})
    set(output ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "\"$0\" -9n -c \"$1\" >\"$2\"" ${TARNSIM_GZIP} ${PROJECT_SOURCE_DIR}/man/${page} ${output}
        DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}
        VERBATIM)
    list(APPEND compressed ${output})
    install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(tarnsim_manual_pages ALL DEPENDS ${compressed})
