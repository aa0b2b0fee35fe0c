# The release set, made by `cmake --workflow --preset dist` in this build
# directory:
#   vornet-VERSION-x86_64-linux.tar.gz, vornet-VERSION-aarch64-linux.tar.gz
#     one folder vornet-VERSION-ARCH-linux/ with the statically linked,
#     stripped program, its manual page, README.md and LICENSE;
#   vornet_VERSION_amd64.deb, vornet_VERSION_arm64.deb
#     the Debian packages, linked against the distribution's C library;
#   vornet-VERSION-windows-x86_64.zip
#     the Windows program and its texts;
#   SHA256SUMS
#     the checksums of all of them.
# Each platform is one build of the program in parts/, with its own
# toolchain; the set from one commit is the same bytes wherever and whenever
# it is made: every time stamp is the commit's, archives fix order, owners
# and modes, and no binary holds a path of the checkout.

set(version ${PROJECT_VERSION})
set(dist ${PROJECT_BINARY_DIR})
set(parts ${dist}/parts)

# What the set is built with, and the Debian package each comes from.
foreach(tool_package IN ITEMS
        g++:g++ aarch64-linux-gnu-g++:g++-aarch64-linux-gnu
        x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64 groff:groff-base
        dpkg-shlibdeps:dpkg-dev file:file tar:tar gzip:gzip zip:zip git:git)
  string(REPLACE ":" ";" tool_package ${tool_package})
  list(GET tool_package 0 tool)
  unset(tool_path)
  find_program(tool_path ${tool} NO_CACHE)
  if(NOT tool_path)
    list(GET tool_package 1 package)
    message(FATAL_ERROR "the release set needs ${tool}, from the Debian package ${package}")
  endif()
endforeach()

# The documents that ship name the version that ships.
foreach(file_text IN ITEMS "doc/vornet.1:vornet ${version}"
                           "packaging/debian/changelog:vornet (${version})"
                           "packaging/windows/README.txt:vornet ${version}")
  string(REPLACE ":" ";" file_text "${file_text}")
  list(GET file_text 0 file)
  list(GET file_text 1 text)
  file(READ ${PROJECT_SOURCE_DIR}/${file} content)
  string(FIND "${content}" "${text}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${file} does not name version ${version} (\"${text}\")")
  endif()
endforeach()

# Every time stamp in the set: the time of the last commit.
execute_process(COMMAND git log -1 --format=%ct
                WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Release set ${version}, time stamps ${epoch} (the last commit)")

# Every step sees none of the caller's compiler settings and umask (CPack
# makes the package's folders by the umask), and every tool that writes a
# time stamp writes the commit's, in UTC (strip too, into a Windows program).
set(fixed_env sh -c "umask 022 && exec \"$@\"" umask-022
              ${CMAKE_COMMAND} -E env --unset=CXX --unset=CXXFLAGS --unset=CPPFLAGS
              --unset=LDFLAGS SOURCE_DATE_EPOCH=${epoch} TZ=UTC LC_ALL=C)

set(products)
set(previous)
# vornet_release_part(NAME ARCHIVE_ARCH DEB_ARCH [CMake options...]): the
# build parts/NAME, packed as the static archive for ARCHIVE_ARCH and the
# Debian package for DEB_ARCH; with both empty, as the Windows ZIP. The
# builds run one after the other, each on every core.
function(vornet_release_part name archive_arch deb_arch)
  set(dir ${parts}/${name})
  set(commands
      COMMAND ${fixed_env} ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${dir} -G ${CMAKE_GENERATOR}
              -DCMAKE_BUILD_TYPE=Release -DVORNET_TESTS=OFF -DVORNET_BENCH=OFF
              -DVORNET_RELEASE_PART=ON ${ARGN}
      COMMAND ${fixed_env} ${CMAKE_COMMAND} --build ${dir})
  if(archive_arch)
    set(archive vornet-${version}-${archive_arch}-linux)
    set(deb vornet_${version}_${deb_arch}.deb)
    list(APPEND commands
         COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}/archive
         COMMAND ${fixed_env} ${CMAKE_COMMAND} --install ${dir} --component archive --strip
                 --prefix ${dir}/archive/${archive}
         COMMAND ${fixed_env} ${CMAKE_COMMAND} -DFOLDER=${dir}/archive/${archive}
                 -DARCHIVE=${dist}/${archive}.tar.gz -DEPOCH=${epoch}
                 -P ${PROJECT_SOURCE_DIR}/cmake/release/archive.cmake
         COMMAND ${fixed_env} cpack -G DEB --config ${dir}/CPackConfig.cmake -B ${dir}/packages
         COMMAND ${CMAKE_COMMAND} -E copy ${dir}/packages/${deb} ${dist}/)
    set(made ${archive}.tar.gz ${deb})
  else()
    # What `cpack -G ZIP` packs, packed as the Linux archives are: CPack
    # would store the builder's user and group ids.
    set(zip vornet-${version}-windows-x86_64)
    list(APPEND commands
         COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}/archive
         COMMAND ${fixed_env} ${CMAKE_COMMAND} --install ${dir} --strip --prefix ${dir}/archive/${zip}
         COMMAND ${fixed_env} ${CMAKE_COMMAND} -DFOLDER=${dir}/archive/${zip} -DARCHIVE=${dist}/${zip}.zip
                 -DEPOCH=${epoch} -P ${PROJECT_SOURCE_DIR}/cmake/release/archive.cmake)
    set(made ${zip}.zip)
  endif()
  add_custom_target(release_${name} ALL ${commands} USES_TERMINAL VERBATIM)
  if(previous)
    add_dependencies(release_${name} ${previous})
  endif()
  set(previous release_${name} PARENT_SCOPE)
  set(products ${products} ${made} PARENT_SCOPE)
endfunction()

set(toolchains ${PROJECT_SOURCE_DIR}/cmake)
vornet_release_part(linux-x86_64 x86_64 amd64 -DCMAKE_CXX_COMPILER=g++)
vornet_release_part(linux-aarch64 aarch64 arm64
                    -DCMAKE_TOOLCHAIN_FILE=${toolchains}/aarch64-linux-gnu.cmake)
vornet_release_part(windows-x86_64 "" "" -DCMAKE_TOOLCHAIN_FILE=${toolchains}/mingw-w64-x86_64.cmake)

add_custom_target(release_checksums ALL
  COMMAND ${CMAKE_COMMAND} -DDIR=${dist} "-DFILES=${products}"
          -P ${PROJECT_SOURCE_DIR}/cmake/release/checksums.cmake
  COMMAND ${CMAKE_COMMAND} -E echo "release set ${version} in ${dist}: ${products} SHA256SUMS"
  VERBATIM)
add_dependencies(release_checksums ${previous})
