# Installation and packages. On Linux: the two programs in bin/, the manual page, and the README and
# the example plan file as documentation; CPack makes a Debian package and a .tar.gz of that
# tree. On Windows: one flat folder, zipped, with tosim.exe, tosim-report.exe, the example and a plain-text read-me
# with CR LF line ends, for Notepad.
include(GNUInstallDirs)
set(TOSIM_VERSION ${PROJECT_VERSION})

if(WIN32)
  # The ZIPs of both widths hold the same files; the read-me names the one it comes with.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TOSIM_WINDOWS_BUILD "64-bit, runs on 64-bit Windows")
  else()
    set(TOSIM_WINDOWS_BUILD "32-bit, runs on any current Windows")
  endif()
  configure_file(doc/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS tosim tosim-report RUNTIME DESTINATION .)
  install(FILES examples/plans.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
else()
  configure_file(doc/tosim.1 tosim.1 @ONLY)
  install(TARGETS tosim tosim-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tosim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md examples/plans.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME tosim)
set(CPACK_PACKAGE_VENDOR tosim)
set(CPACK_PACKAGE_CONTACT "tosim developers <tosim@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "replays transaction schedules under timestamp ordering")
set(CPACK_PACKAGE_DESCRIPTION
    "tosim replays hand-written transaction schedules under basic timestamp ordering with the
Thomas write rule, for database courses, and prints every decision with its timestamps to the
console and to a listing file. tosim-report tells, for every plan, what timestamp ordering did
to it and what serializability theory says about it.")
set(CPACK_STRIP_FILES ON)
# tosim_1.0_amd64.deb, depending on the C library it was linked against (the C++ runtime is
# linked in).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
include(CPack)
