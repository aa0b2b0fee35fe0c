# Run by CPack when it packs (CPACK_PROJECT_CONFIG_FILE): the library
# dependencies of the Debian package of a cross build. dpkg-shlibdeps cannot
# give them: it finds the target's libraries as files of the -cross packages,
# under their names and without versions. They are taken instead from the
# version nodes the binary needs of each library (what the dynamic loader
# checks) and the least version that the library's Debian symbols file gives
# each node; a node is the same on every architecture, so the symbols files
# installed for this machine serve.
if(NOT CPACK_GENERATOR STREQUAL "DEB" OR NOT CPACK_VORNET_CROSS_BINARY)
  return()
endif()

execute_process(COMMAND ${CPACK_VORNET_READELF} -V ${CPACK_VORNET_CROSS_BINARY}
                OUTPUT_VARIABLE readelf RESULT_VARIABLE failed)
string(FIND "${readelf}" "Version needs section" needs_at)
if(failed OR needs_at LESS 0)
  message(FATAL_ERROR "no version needs in ${CPACK_VORNET_CROSS_BINARY}")
endif()
string(SUBSTRING "${readelf}" ${needs_at} -1 needs)
string(REGEX MATCHALL "(File|Name): [^ \n]+" entries "${needs}")

# Appends "package (>= version)" for `library` needing `nodes` to `depends`.
# The package is named after the library as Debian names it (libc.so.6:
# libc6, libgcc_s.so.1: libgcc-s1, libstdc++.so.6: libstdc++6).
function(vornet_dependency library nodes)
  if(NOT library MATCHES "^(.+)\\.so\\.([0-9.]+)$")
    message(FATAL_ERROR "${library}: not a shared library name")
  endif()
  set(soversion ${CMAKE_MATCH_2})
  string(REPLACE "_" "-" package "${CMAKE_MATCH_1}")
  if(package MATCHES "[0-9]$")
    string(APPEND package "-")
  endif()
  string(APPEND package "${soversion}")
  file(GLOB symbols /var/lib/dpkg/info/${package}.symbols /var/lib/dpkg/info/${package}:*.symbols)
  if(NOT symbols)
    message(FATAL_ERROR "no Debian symbols file of ${package} for ${library}")
  endif()
  list(GET symbols 0 symbols)
  set(least 0)
  foreach(node IN LISTS nodes)
    string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" pattern "${node}")
    file(STRINGS ${symbols} line REGEX "^ ${pattern}@${pattern} ")
    if(line)
      list(GET line 0 line)
    endif()
    if(NOT line MATCHES "^ [^ ]+ ([^ ]+)")
      message(FATAL_ERROR "${package}: no version for ${node}")
    endif()
    if(CMAKE_MATCH_1 VERSION_GREATER least)
      set(least ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(depends ${depends} "${package} (>= ${least})" PARENT_SCOPE)
endfunction()

set(depends)
set(library "")
foreach(entry IN LISTS entries ITEMS "File: ")
  if(entry MATCHES "^File: (.*)")
    if(library)
      vornet_dependency(${library} "${nodes}")
    endif()
    set(library ${CMAKE_MATCH_1})
    set(nodes)
  elseif(entry MATCHES "^Name: (.+)")
    list(APPEND nodes ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT depends)
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
