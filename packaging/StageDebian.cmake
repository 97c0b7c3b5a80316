# Runs inside cpack once `cmake --install` has filled the staged tree, before
# the .deb is made: adds the files every Debian package carries and brings
# what was installed into Debian's shape.

set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${stage}/bin")
  message(FATAL_ERROR "staged tree not found at ${stage}")
endif()
set(doc "${stage}/share/doc/${CPACK_PACKAGE_NAME}")
set(packaging "${CPACK_PORUTE_PACKAGING_DIR}")

find_program(GZIP gzip REQUIRED)
# gzip -9n: the best compression and no time stamp, so the bytes repeat.
function(gzip_into source target)
  execute_process(COMMAND "${GZIP}" -9nc "${source}" OUTPUT_FILE "${target}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source}: ${failed}")
  endif()
  file(CHMOD "${target}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${packaging}/copyright" "${doc}/copyright")
gzip_into("${packaging}/changelog" "${doc}/changelog.gz")

# lintian's overrides, each with its reason in the comment above it. A
# program whose manual page is not installed yet (pages are written apart
# from the programs) is let through, so the package still builds; the page
# joins the package once `cmake --install` installs it, and the override
# goes away by itself.
set(overrides "")
file(GLOB programs RELATIVE "${stage}/bin" "${stage}/bin/*")
foreach(program ${programs})
  if(NOT EXISTS "${stage}/share/man/man1/${program}.1" AND NOT EXISTS "${stage}/share/man/man1/${program}.1.gz")
    string(APPEND overrides "# The manual page of ${program} is written apart from it and not installed yet.\n"
                            "no-manual-page [usr/bin/${program}]\n")
  endif()
endforeach()
if(overrides)
  file(MAKE_DIRECTORY "${stage}/share/lintian/overrides")
  file(WRITE "${stage}/share/lintian/overrides/${CPACK_PACKAGE_NAME}" "${overrides}")
endif()

# Whatever manual pages the install brought, compressed as Debian wants them.
file(GLOB_RECURSE pages "${stage}/share/man/*")
foreach(page ${pages})
  if(NOT page MATCHES "\\.gz$")
    gzip_into("${page}" "${page}.gz")
    file(REMOVE "${page}")
  endif()
endforeach()

# Files read by everyone, written by root alone; directories and programs
# (bin/ and the partner program in libexec/porute/) run by everyone too.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${stage}/*")
foreach(path ${staged})
  if(IS_DIRECTORY "${path}" OR path MATCHES "/(bin|libexec/porute)/[^/]+$")
    file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                     WORLD_READ WORLD_EXECUTE)
  else()
    file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
