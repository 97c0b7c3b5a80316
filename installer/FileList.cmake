# Writes what the installer puts down as NSIS macros, from the staged folder
# that `cmake --install` filled: the installer's File lines, and the
# uninstaller's Delete and RMDir lines for the very same files and folders,
# so that an uninstall takes away what the install made and nothing a user
# put in the folder beside it.
#
#   cmake -DSTAGE=DIR -DOUTPUT=files.nsh -P FileList.cmake
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE files RELATIVE "${STAGE}" LIST_DIRECTORIES false "${STAGE}/*")
list(SORT files)
if(NOT files)
  message(FATAL_ERROR "nothing is staged in ${STAGE}")
endif()

# A path below the install folder, as NSIS writes it: backslashes, and a
# literal dollar sign doubled. The build machine's own paths keep their
# slashes (makensis runs there) and only have the dollar signs doubled.
function(nsis_literal out path)
  string(REPLACE "$" "$$" path "${path}")
  set(${out} "${path}" PARENT_SCOPE)
endfunction()
function(nsis_installed out relative)
  nsis_literal(relative "${relative}")
  string(REPLACE "/" "\\" relative "${relative}")
  if(relative STREQUAL "")
    set(${out} "$INSTDIR" PARENT_SCOPE)
  else()
    set(${out} "$INSTDIR\\${relative}" PARENT_SCOPE)
  endif()
endfunction()

# Grouped by folder, so that each folder has one SetOutPath.
set(by_folder "")
foreach(file IN LISTS files)
  get_filename_component(folder "${file}" DIRECTORY)
  get_filename_component(name "${file}" NAME)
  list(APPEND by_folder "${folder}|${name}")
endforeach()
list(SORT by_folder)

set(install_lines "")
set(remove_lines "")
set(folders "")
set(total_bytes 0)
set(current_folder "-")
foreach(entry IN LISTS by_folder)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 folder)
  list(GET parts 1 name)
  if(folder STREQUAL "")
    set(file "${name}")
  else()
    set(file "${folder}/${name}")
  endif()
  if(NOT folder STREQUAL current_folder)
    set(current_folder "${folder}")
    nsis_installed(target_folder "${folder}")
    string(APPEND install_lines "  SetOutPath \"${target_folder}\"\n")
    # Every folder up to the top, for the uninstaller.
    while(folder)
      list(APPEND folders "${folder}")
      get_filename_component(folder "${folder}" DIRECTORY)
    endwhile()
  endif()
  nsis_literal(source "${STAGE}/${file}")
  nsis_installed(target "${file}")
  string(APPEND install_lines "  File \"${source}\"\n")
  string(APPEND remove_lines "  Delete \"${target}\"\n")
  file(SIZE "${STAGE}/${file}" bytes)
  math(EXPR total_bytes "${total_bytes} + ${bytes}")
endforeach()
# A folder's own folders sort after it: reversed, the deepest go first, and
# RMDir (without /r) removes only what has become empty.
list(REMOVE_DUPLICATES folders)
list(SORT folders)
list(REVERSE folders)
foreach(folder IN LISTS folders)
  nsis_installed(target "${folder}")
  string(APPEND remove_lines "  RMDir \"${target}\"\n")
endforeach()
math(EXPR total_kib "(${total_bytes} + 1023) / 1024")

set(text "; Written by FileList.cmake from ${STAGE}.\n")
string(APPEND text "!define PORUTE_STAGED_KIB ${total_kib}\n")
if("henkan-porute.exe" IN_LIST files)
  string(APPEND text "!define PORUTE_HAS_WINDOW\n")
endif()
string(APPEND text "!macro PoruteInstallFiles\n${install_lines}")
string(APPEND text "  SetOutPath \"$INSTDIR\"\n!macroend\n")
string(APPEND text "!macro PoruteRemoveFiles\n${remove_lines}!macroend\n")
file(WRITE "${OUTPUT}" "${text}")
