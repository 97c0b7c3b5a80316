# Makes the installer from a staged folder: lists its files for NSIS, then
# runs makensis on henkan-porute.nsi. The build's own copy of this recipe
# (make-installer.cmake in the build folder, written by
# packaging/Windows.cmake) has the version, the licence pages and makensis
# filled in; STAGE and INSTALLER come from its caller.
#
#   cmake -DSTAGE=DIR -DINSTALLER=OUT.exe -P BUILD/make-installer.cmake
cmake_minimum_required(VERSION 3.25)
foreach(variable STAGE INSTALLER MAKENSIS NSI VERSION LICENCE_EN LICENCE_JA)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "MakeInstaller.cmake needs ${variable}")
  endif()
endforeach()

get_filename_component(out_dir "${INSTALLER}" DIRECTORY)
get_filename_component(installer_name "${INSTALLER}" NAME_WE)
set(file_list "${out_dir}/${installer_name}.files.nsh")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -DSTAGE=${STAGE} -DOUTPUT=${file_list}
          -P "${CMAKE_CURRENT_LIST_DIR}/FileList.cmake"
  COMMAND_ERROR_IS_FATAL ANY)

# The window's icon for the installer and uninstaller, where the build has it.
set(icon_define)
if(ICON)
  set(icon_define "-DPORUTE_ICON=${ICON}")
endif()

# The scripts are UTF-8 (Japanese texts); -V2: warnings and errors only.
# Warnings fail the build: an unused string or a missing language text is a
# mistake here.
execute_process(
  COMMAND "${MAKENSIS}" -V2 -WX -INPUTCHARSET UTF8
          "-DPORUTE_VERSION=${VERSION}"
          "-DPORUTE_FILES=${file_list}"
          "-DPORUTE_LICENCE_EN=${LICENCE_EN}"
          "-DPORUTE_LICENCE_JA=${LICENCE_JA}"
          "-DPORUTE_OUTFILE=${INSTALLER}"
          ${icon_define}
          "${NSI}"
  COMMAND_ERROR_IS_FATAL ANY)
