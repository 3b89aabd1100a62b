# The folder to copy to a Windows machine (target windows_folder, in
# <build>/deploy): the deliverables, Qt's DLLs and plugins, the mingw
# runtime, the desktop program's language/ catalogue, Qt's own Chinese
# catalogues with a qt.conf that points Qt at them, and the data/ folder of
# the boot files the tools dialog installs. Those boot files (the rescue ISO
# sorvik2_cn.iso and the loader files Qomra and Qomra.mbr) are not built
# here: -DQUARN_BOOT_FILES_DIR=<folder> copies them in.
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
add_custom_target(windows_folder ${deploy_commands} COMMENT "Filling ${DEPLOY_DIR}" VERBATIM)
add_dependencies(windows_folder ${deploy_targets})
