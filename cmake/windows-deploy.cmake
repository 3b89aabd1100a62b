# The folder to copy to a Windows machine (target windows_folder, in
# <build>/deploy, and packed as <build>/sorvik-tavimo-recover-<version>-
# windows-x64.zip): the deliverables, stripped, Qt's DLLs and plugins, the mingw
# runtime, the desktop program's language/ catalogue, Qt's own Chinese
# catalogues with a qt.conf that points Qt at them, and the data/ folder of
# the boot files the tools dialog installs. Those boot files (the rescue ISO
# sorvik2_cn.iso and the loader files Qomra and Qomra.mbr) are not built
# here: -DQUARN_BOOT_FILES_DIR=<folder> copies them in. Also README.txt and
# licences/ (Qt's LGPL 3 and its source, the GCC runtime's licence with
# its exception, winpthreads' licence).
set(QUARN_BOOT_FILES_DIR "" CACHE PATH "Folder holding sorvik2_cn.iso, Qomra and Qomra.mbr for the Windows folder")
set(DEPLOY_DIR ${CMAKE_BINARY_DIR}/deploy)

set(deploy_files $<TARGET_FILE:quarn_windows> $<TARGET_FILE:Vetra> ${QUARN_MINGW_RUNTIME_DLLS})
set(deploy_targets quarn_windows Vetra)
foreach(module Core Gui Widgets)
  list(APPEND deploy_files $<TARGET_FILE:Qt5::${module}>)
endforeach()
if(TARGET deskrestore)
  list(APPEND deploy_files $<TARGET_FILE:deskrestore>)
  list(APPEND deploy_targets deskrestore)
endif()

# Qt's own catalogues for the program's languages: qt_<lang>.qm only loads
# together with the module catalogues it names.
set(qt_translations /usr/share/qt5/translations)
set(qt_catalogues)
foreach(lang zh_CN zh_TW)
  foreach(module qt qtbase qtscript qtmultimedia qtxmlpatterns)
    if(EXISTS ${qt_translations}/${module}_${lang}.qm)
      list(APPEND qt_catalogues ${qt_translations}/${module}_${lang}.qm)
    endif()
  endforeach()
endforeach()
set(deploy_commands
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DEPLOY_DIR}/platforms ${DEPLOY_DIR}/styles
          ${DEPLOY_DIR}/translations ${DEPLOY_DIR}/data
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${deploy_files} ${DEPLOY_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin>
          ${DEPLOY_DIR}/platforms
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin> ${DEPLOY_DIR}/styles
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${qt_catalogues} ${DEPLOY_DIR}/translations
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_LIST_DIR}/windows-qt.conf ${DEPLOY_DIR}/qt.conf)
if(DEFINED DESK_LANGUAGE_DIR)
  list(APPEND deploy_commands COMMAND ${CMAKE_COMMAND} -E copy_directory ${DESK_LANGUAGE_DIR} ${DEPLOY_DIR}/language)
endif()
if(QUARN_BOOT_FILES_DIR)
  list(APPEND deploy_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
       ${QUARN_BOOT_FILES_DIR}/sorvik2_cn.iso ${QUARN_BOOT_FILES_DIR}/Qomra ${QUARN_BOOT_FILES_DIR}/Qomra.mbr
       ${DEPLOY_DIR}/data)
endif()

# The licences of what the folder ships beside our own binaries, and a
# short README.txt for a Windows user (Windows line ends, so that every
# Notepad shows it).
find_program(QUARN_MINGW_STRIP NAMES x86_64-w64-mingw32-strip REQUIRED)
set(QUARN_QT_VERSION ${Qt5Core_VERSION})
set(QUARN_QT_SOURCE_VERSION "")
if(EXISTS ${QUARN_QT_PREFIX}/.key)
  # scripts/build-qt-mingw keys its cache by "<source version>|...".
  file(READ ${QUARN_QT_PREFIX}/.key qt_key)
  string(REGEX MATCH "^[^|\n]+" QUARN_QT_SOURCE_VERSION "${qt_key}")
endif()
if(NOT QUARN_QT_SOURCE_VERSION)
  message(FATAL_ERROR "The Qt of ${QUARN_QT_PREFIX} does not say which Debian source it was built from (.key)")
endif()
set(licence_sources
  /usr/share/common-licenses/LGPL-3 LGPL-3.txt
  /usr/share/common-licenses/GPL-3 GPL-3.txt
  /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright GCC-runtime.txt
  /usr/share/doc/mingw-w64-x86-64-dev/copyright winpthreads.txt)
set(LICENCE_DIR ${CMAKE_BINARY_DIR}/licences)
file(MAKE_DIRECTORY ${LICENCE_DIR})
while(licence_sources)
  list(POP_FRONT licence_sources from to)
  if(NOT EXISTS ${from})
    message(FATAL_ERROR "The licence text ${from} is missing (the folder must carry it)")
  endif()
  file(READ ${from} text)
  string(REGEX REPLACE "\r?\n" "\r\n" text "${text}")
  file(WRITE ${LICENCE_DIR}/${to} "${text}")
endwhile()
foreach(pair "Qt-SOURCE.txt.in;${LICENCE_DIR}/Qt-SOURCE.txt" "README.txt.in;${CMAKE_BINARY_DIR}/README.txt")
  list(GET pair 0 template)
  list(GET pair 1 out)
  get_filename_component(name ${out} NAME)
  configure_file(${QUARN_WINDOWS_RESOURCES_DIR}/${template} ${CMAKE_BINARY_DIR}/unix-line-ends/${name} @ONLY)
  file(READ ${CMAKE_BINARY_DIR}/unix-line-ends/${name} text)
  string(REGEX REPLACE "\r?\n" "\r\n" text "${text}")
  file(WRITE ${out} "${text}")
endforeach()
list(APPEND deploy_commands
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${DEPLOY_DIR}/licences
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${LICENCE_DIR} ${DEPLOY_DIR}/licences
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/README.txt ${DEPLOY_DIR})

# Stripped binaries and the zip named with the version, beside the folder.
set(QUARN_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/sorvik-tavimo-recover-${QUARN_PRODUCT_VERSION}-windows-x64.zip)
list(APPEND deploy_commands
  COMMAND ${CMAKE_COMMAND} -DFOLDER=${DEPLOY_DIR} -DSTRIP=${QUARN_MINGW_STRIP} -DZIP=${QUARN_WINDOWS_ZIP}
          -P ${CMAKE_CURRENT_LIST_DIR}/windows-release.cmake)
add_custom_target(windows_folder ${deploy_commands} COMMENT "Filling ${DEPLOY_DIR} and packing ${QUARN_WINDOWS_ZIP}"
  VERBATIM)
add_dependencies(windows_folder ${deploy_targets})
