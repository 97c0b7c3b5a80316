# The Windows installer (NSIS) and the portable zip, both made from one
# staged folder that `cmake --install` fills: whatever the build installs
# (the programs, the message catalogue) plus the readme and the licences
# installed here. Nothing lists the programs by hand, so a program or a
# catalogue that the build adds is shipped without a change here.
#
#   cmake --build build-windows --target porute_windows_packages
#
# writes henkan-porute-VERSION-x64-setup.exe and henkan-porute-VERSION-x64.zip
# into the build folder. The installer's script and its recipe are in
# installer/.

set(porute_installer_source ${PROJECT_SOURCE_DIR}/installer)
set(porute_windows_dir ${CMAKE_BINARY_DIR}/windows-packages)
set(PORUTE_WINDOWS_INSTALLER
    ${CMAKE_BINARY_DIR}/henkan-porute-${PROJECT_VERSION}-x64-setup.exe)
set(PORUTE_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/henkan-porute-${PROJECT_VERSION}-x64.zip)

# The licence follows from what the programs link: x264 (through FFmpeg) is
# under the GPL version 2 or later, which then covers the whole build.
if(PORUTE_FFMPEG)
  set(porute_licence gpl)
  set(porute_licence_body /usr/share/common-licenses/GPL-2)
else()
  set(porute_licence mit)
  set(porute_licence_body ${PROJECT_SOURCE_DIR}/LICENSE)
endif()

# Writes the files given after OUT joined into one text for Windows: CRLF line
# ends and a UTF-8 byte order mark, which Notepad of every Windows and NSIS's
# licence page take as UTF-8.
function(porute_windows_text out)
  set(text "")
  foreach(part IN LISTS ARGN)
    file(READ ${part} content)
    string(APPEND text "${content}")
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${part})
  endforeach()
  string(REPLACE "@VERSION@" "${PROJECT_VERSION}" text "${text}")
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  string(ASCII 239 187 191 bom)
  file(WRITE ${out} "${bom}${text}")
endfunction()

set(porute_texts ${porute_windows_dir}/texts)
file(WRITE ${porute_texts}/blank.txt "\n")
string(REPEAT "-" 70 porute_rule)
file(WRITE ${porute_texts}/rule.txt "\n\n${porute_rule}\n\n")
porute_windows_text(${porute_texts}/README.txt
  ${porute_installer_source}/readme.ja.txt ${porute_texts}/blank.txt
  ${porute_installer_source}/notice-${porute_licence}.ja.txt ${porute_texts}/rule.txt
  ${porute_installer_source}/readme.en.txt ${porute_texts}/blank.txt
  ${porute_installer_source}/notice-${porute_licence}.en.txt)
foreach(language en ja)
  porute_windows_text(${porute_texts}/licence-page.${language}.txt
    ${porute_installer_source}/notice-${porute_licence}.${language}.txt
    ${porute_texts}/rule.txt ${porute_licence_body})
endforeach()
porute_windows_text(${porute_texts}/LICENSE.txt ${PROJECT_SOURCE_DIR}/LICENSE)
install(FILES ${porute_texts}/README.txt ${porute_texts}/LICENSE.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(porute_licence STREQUAL "gpl")
  porute_windows_text(${porute_texts}/GPL-2.txt ${porute_licence_body})
  install(FILES ${porute_texts}/GPL-2.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The folder both packages hold, made anew each time so that no file of an
# earlier build slips in.
set(porute_stage_root ${porute_windows_dir}/stage)
set(porute_stage ${porute_stage_root}/henkan-porute)
add_custom_target(porute_windows_stage
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${porute_stage_root}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${porute_stage} --strip
  # The manual page and the bash completion serve Linux systems only.
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${porute_stage}/share
  COMMENT "Staging what the Windows packages hold"
  VERBATIM)
add_dependencies(porute_windows_stage porute_installed)

add_custom_target(porute_windows_zip
  COMMAND ${CMAKE_COMMAND} -E rm -f ${PORUTE_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${porute_stage_root}
          ${CMAKE_COMMAND} -E tar cf ${PORUTE_WINDOWS_ZIP} --format=zip henkan-porute
  COMMENT "Packing ${PORUTE_WINDOWS_ZIP}"
  VERBATIM)
add_dependencies(porute_windows_zip porute_windows_stage)

# The build's copy of the installer's recipe, with this build's settings; the
# installer test runs it too.
find_program(PORUTE_MAKENSIS makensis)
set(PORUTE_MAKE_INSTALLER ${porute_windows_dir}/make-installer.cmake)
# The installer and uninstaller wear the window's icon, where there is one.
set(porute_installer_icon "")
if(TARGET henkan-porute)
  set(porute_installer_icon ${CMAKE_BINARY_DIR}/winform/henkan-porute.ico)
endif()
file(WRITE ${PORUTE_MAKE_INSTALLER}
  "set(MAKENSIS \"${PORUTE_MAKENSIS}\")\n"
  "set(NSI \"${porute_installer_source}/henkan-porute.nsi\")\n"
  "set(VERSION \"${PROJECT_VERSION}\")\n"
  "set(LICENCE_EN \"${porute_texts}/licence-page.en.txt\")\n"
  "set(LICENCE_JA \"${porute_texts}/licence-page.ja.txt\")\n"
  "set(ICON \"${porute_installer_icon}\")\n"
  "include(\"${porute_installer_source}/MakeInstaller.cmake\")\n")
if(PORUTE_MAKENSIS)
  add_custom_target(porute_windows_installer
    COMMAND ${CMAKE_COMMAND} -DSTAGE=${porute_stage} -DINSTALLER=${PORUTE_WINDOWS_INSTALLER}
            -P ${PORUTE_MAKE_INSTALLER}
    COMMENT "Making ${PORUTE_WINDOWS_INSTALLER}"
    VERBATIM)
else()
  add_custom_target(porute_windows_installer
    COMMAND ${CMAKE_COMMAND} -E echo "error: the installer needs makensis (Debian's nsis)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
add_dependencies(porute_windows_installer porute_windows_stage)

add_custom_target(porute_windows_packages)
add_dependencies(porute_windows_packages porute_windows_installer porute_windows_zip)
