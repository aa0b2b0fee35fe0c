# What the install rules add besides the program, and the packages CPack makes
# of them: on Linux a Debian package (`cpack -G DEB`), on Windows a ZIP
# (`cpack -G ZIP`).

set(CPACK_PACKAGE_NAME vornet)
set(CPACK_PACKAGE_VENDOR "vornet project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list the records of an SAO ionogram file by date and time")
set(CPACK_PACKAGE_CONTACT "vornet project <maintainers@users.noreply.c-seed-8705de65.example>")
set(CPACK_STRIP_FILES ON)
# Directories made for the package read 755 whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # The ZIP holds vornet.exe and, for Windows users, text with CR LF line
  # ends: README.txt (written for Windows, not the build's README.md), the
  # manual page as plain text and the licence, side by side.
  set(crlf_texts)
  function(vornet_crlf_text source name)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/zip/${name})
    add_custom_command(
      OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DIN=${source} -DOUT=${out} -P ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
      DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
      VERBATIM)
    install(FILES ${out} DESTINATION .)
    set(crlf_texts ${crlf_texts} ${out} PARENT_SCOPE)
  endfunction()
  vornet_crlf_text(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt README.txt)
  vornet_crlf_text(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt)
  find_program(VORNET_GROFF groff)
  if(VORNET_GROFF)
    set(manual_text ${CMAKE_CURRENT_BINARY_DIR}/vornet.1.txt)
    # -P-cbou: no escape sequences, no overstriking; the text reads anywhere.
    add_custom_command(
      OUTPUT ${manual_text}
      COMMAND ${VORNET_GROFF} -man -Tascii -P-cbou ${PROJECT_SOURCE_DIR}/doc/vornet.1 > ${manual_text}
      DEPENDS ${PROJECT_SOURCE_DIR}/doc/vornet.1
      VERBATIM)
    vornet_crlf_text(${manual_text} vornet.txt)
  else()
    message(WARNING "groff not found: the ZIP will not hold the manual page")
  endif()
  add_custom_target(zip_texts ALL DEPENDS ${crlf_texts})
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  # Debian installs manual pages and changelogs compressed, without a time
  # stamp in the gzip header, so that a rebuild gives the same bytes.
  find_program(VORNET_GZIP gzip REQUIRED)
  set(packed_manual ${CMAKE_CURRENT_BINARY_DIR}/vornet.1.gz)
  set(packed_changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  add_custom_command(
    OUTPUT ${packed_manual}
    COMMAND ${VORNET_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/doc/vornet.1 > ${packed_manual}
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/vornet.1
    VERBATIM)
  add_custom_command(
    OUTPUT ${packed_changelog}
    COMMAND ${VORNET_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${packed_changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    VERBATIM)
  add_custom_target(packed_docs ALL DEPENDS ${packed_manual} ${packed_changelog})
  install(FILES ${packed_manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/debian/copyright ${packed_changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vornet)

  set(CPACK_PACKAGE_DESCRIPTION_FILE ${PROJECT_SOURCE_DIR}/packaging/debian/description)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  if(CMAKE_CROSSCOMPILING)
    # A cross build is packed for its own architecture, with its library
    # dependencies read when it is packed (cmake/DebianCrossDepends.cmake).
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
      set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    else()
      set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
    endif()
    set(CPACK_VORNET_CROSS_BINARY ${PROJECT_BINARY_DIR}/vornet)
    set(CPACK_VORNET_READELF ${CMAKE_READELF})
    set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/DebianCrossDepends.cmake)
  else()
    # The library dependencies are read from the binary (dpkg-shlibdeps).
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

include(CPack)
