# What Debian policy asks every package to carry about itself: the licence
# as a machine-readable copyright file, the changelog and a manual page for
# each installed program, the last two compressed (gzip -9n: no name or time
# stamp inside, so the same sources give the same bytes).
#
#   share/doc/duolume/copyright
#   share/doc/duolume/changelog.gz
#   share/man/man1/prefpane-host.1.gz
#   share/man/man1/duolume-launchctl.1.gz

find_program(DUOLUME_GZIP gzip REQUIRED)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/duolume)
set(changelog ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog)

# The changelog's newest entry is the release being built.
file(STRINGS ${changelog} newest LIMIT_COUNT 1)
string(REGEX MATCH "^duolume \\(([^)]*)\\)" newest "${newest}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/debian/changelog starts with version '${CMAKE_MATCH_1}'; "
                      "add an entry for version ${PROJECT_VERSION} at its top")
endif()

set(compressed)
function(duolume_compressed source name)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name})
  add_custom_command(OUTPUT ${out}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${out}
    COMMAND ${DUOLUME_GZIP} -9nf ${out}
    DEPENDS ${source} VERBATIM)
  set(compressed ${compressed} ${out}.gz PARENT_SCOPE)
endfunction()
duolume_compressed(${changelog} changelog)
duolume_compressed(${CMAKE_CURRENT_SOURCE_DIR}/man/prefpane-host.1 prefpane-host.1)
duolume_compressed(${CMAKE_CURRENT_SOURCE_DIR}/man/duolume-launchctl.1 duolume-launchctl.1)
add_custom_target(duolume_documentation ALL DEPENDS ${compressed})

install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/debian/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/compressed/changelog.gz
        DESTINATION ${doc_dir})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/compressed/prefpane-host.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/compressed/duolume-launchctl.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
