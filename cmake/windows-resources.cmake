# Version resources for the Windows deliverables, from the one product
# version (cmake/product-version.cmake):
#   quarn_windows_resources(<target> <file name> <description> [APPLICATION])
# APPLICATION adds the program's icon and its manifest (administrator
# rights, the supported systems, DPI awareness, common controls 6).
set(QUARN_WINDOWS_RESOURCES_DIR ${PROJECT_SOURCE_DIR}/resources/windows)

function(quarn_windows_resources target file_name description)
  cmake_parse_arguments(arg "APPLICATION" "" "" ${ARGN})
  set(QUARN_RC_FILE_NAME ${file_name})
  set(QUARN_RC_DESCRIPTION ${description})
  get_filename_component(QUARN_RC_INTERNAL_NAME ${file_name} NAME_WE)
  set(QUARN_RC_EXTRA "")
  set(rc_depends)
  if(arg_APPLICATION)
    set(QUARN_RC_FILE_TYPE VFT_APP)
    set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${QUARN_RC_INTERNAL_NAME}.manifest)
    configure_file(${QUARN_WINDOWS_RESOURCES_DIR}/deskrestore.manifest.in ${manifest} @ONLY)
    # 1 ICON: the first icon, which Explorer shows; 1 24: the process's
    # manifest (CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST).
    set(QUARN_RC_EXTRA "1 ICON \"${QUARN_APP_ICON}\"\n1 24 \"${manifest}\"")
    set(rc_depends ${QUARN_APP_ICON} ${manifest})
  else()
    set(QUARN_RC_FILE_TYPE VFT_DLL)
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${QUARN_RC_INTERNAL_NAME}_version.rc)
  configure_file(${QUARN_WINDOWS_RESOURCES_DIR}/version.rc.in ${rc} @ONLY)
  if(rc_depends)
    set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS "${rc_depends}")
    add_dependencies(${target} desk_icon)
  endif()
  target_sources(${target} PRIVATE ${rc})
endfunction()
