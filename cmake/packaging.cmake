# Installation and packages. On Linux: the three programs in bin/, their manual pages in English
# (man1) and in Spanish (es/man1), compressed as Debian wants them, and as documentation the
# README, the example plan file, the page of the protocols' rules in Spanish and the copyright
# file; CPack makes a Debian package and a .tar.gz of that tree. On Windows: one flat folder,
# zipped, with tosim.exe, tosim-report.exe, tosim-gen.exe, the example and a plain-text read-me
# with CR LF line ends, for Notepad.
include(GNUInstallDirs)
set(TOSIM_VERSION ${PROJECT_VERSION})
# Who answers for the packages (the Debian package's Maintainer field and the copyright file's
# contact), and where the source is published; a release sets both.
set(TOSIM_MAINTAINER "tosim developers <tosim@example.org>" CACHE STRING
  "The packages' maintainer, as Name <address>")
set(TOSIM_SOURCE "https://example.org/tosim" CACHE STRING "Where tosim's source is published")

if(WIN32)
  # The ZIPs of both widths hold the same files; the read-me names the one it comes with.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TOSIM_WINDOWS_BUILD "64-bit, runs on 64-bit Windows")
  else()
    set(TOSIM_WINDOWS_BUILD "32-bit, runs on any current Windows")
  endif()
  configure_file(doc/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS tosim tosim-report tosim-gen RUNTIME DESTINATION .)
  install(FILES examples/plans.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
else()
  # gzip -9n: best compression, and no name or time stamp inside, so that builds are repeatable.
  find_program(TOSIM_GZIP gzip REQUIRED)
  foreach(page tosim.1 tosim-report.1 tosim-gen.1 es/tosim.1 es/tosim-report.1 es/tosim-gen.1)
    configure_file(doc/${page} man/${page} @ONLY)
    add_custom_command(OUTPUT man/${page}.gz
      COMMAND ${TOSIM_GZIP} -9n -c ${page} > ${page}.gz
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/man
      DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/man/${page})
    list(APPEND TOSIM_MAN_PAGES ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  endforeach()
  add_custom_target(tosim_manual_pages ALL DEPENDS ${TOSIM_MAN_PAGES})
  configure_file(doc/copyright copyright @ONLY)
  configure_file(doc/changelog changelog @ONLY)
  add_custom_command(OUTPUT changelog.gz
    COMMAND ${TOSIM_GZIP} -9n -c changelog > changelog.gz
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
  add_custom_target(tosim_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  install(TARGETS tosim tosim-report tosim-gen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/tosim.1.gz ${CMAKE_CURRENT_BINARY_DIR}/man/tosim-report.1.gz
    ${CMAKE_CURRENT_BINARY_DIR}/man/tosim-gen.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/es/tosim.1.gz
    ${CMAKE_CURRENT_BINARY_DIR}/man/es/tosim-report.1.gz
    ${CMAKE_CURRENT_BINARY_DIR}/man/es/tosim-gen.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/es/man1)
  # The protocols' rules in Spanish, which the Spanish manual page names. Installed there is no
  # playground to go back to, so the page's link to it is left out.
  set(TOSIM_RULES_PAGE ${CMAKE_CURRENT_SOURCE_DIR}/web/protocolos.html)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TOSIM_RULES_PAGE})
  file(READ ${TOSIM_RULES_PAGE} rules_page)
  set(playground_link " <a href=\"index.html\">Volver al playground</a>.")
  string(FIND "${rules_page}" "${playground_link}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "web/protocolos.html: the link back to the playground was not found")
  endif()
  string(REPLACE "${playground_link}" "" rules_page "${rules_page}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/doc/protocolos.html "${rules_page}")
  install(FILES README.md examples/plans.txt ${CMAKE_CURRENT_BINARY_DIR}/copyright
    ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${CMAKE_CURRENT_BINARY_DIR}/doc/protocolos.html
    web/style.css
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME tosim)
set(CPACK_PACKAGE_VENDOR tosim)
set(CPACK_PACKAGE_CONTACT "${TOSIM_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "replays transaction schedules under timestamp ordering")
# Debian wants the description's lines within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "tosim replays hand-written transaction schedules under basic timestamp
ordering with the Thomas write rule, for database courses, and prints every
decision with its timestamps to the console and to a listing file.
tosim-report tells, for every plan, what timestamp ordering did to it and what
serializability theory says about it, and writes quizzes that Moodle imports.
tosim-gen writes plan files whose plans have the properties a teacher asks
for, one variant per student.")
set(CPACK_STRIP_FILES ON)
# tosim_1.0_amd64.deb, depending on the C library it was linked against (the C++ runtime is
# linked in).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
include(CPack)
