# The Windows build. The Qt-free Windows layer and its tests always build;
# with a Qt for mingw-w64 (scripts/build-qt-mingw, found through
# QUARN_QT_PREFIX, see cmake/mingw-w64-x86_64.cmake) the Windows
# deliverables build too: quarn.dll, Vetra.dll and deskrestore.exe.
# windres, for the version resources and the program's manifest and icon.
enable_language(RC)
set(QUARN_HOST_QT_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "CMake files of the build machine's Qt (lrelease)")
find_package(Qt5 5.15 QUIET COMPONENTS Core Gui Widgets)
if(Qt5_FOUND)
  # zlib linked in (libz.a), so that quarn.dll needs no zlib1.dll.
  find_library(ZLIB_LIBRARY NAMES libz.a REQUIRED)
  find_package(ZLIB REQUIRED)
  # The mingw runtime the deliverables and Qt's DLLs share (one C++ runtime
  # in the process: they pass std::string and Qt types to each other).
  set(QUARN_MINGW_RUNTIME_DLLS)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "The mingw runtime's ${dll} is not found")
    endif()
    list(APPEND QUARN_MINGW_RUNTIME_DLLS ${path})
  endforeach()
  add_subdirectory(src/fslayout)
  add_subdirectory(src/quarn)
  # lrelease comes from the build machine's Qt.
  set(Qt5LinguistTools_DIR ${QUARN_HOST_QT_CMAKE_DIR}/Qt5LinguistTools CACHE PATH "")
else()
  message(STATUS "No Qt 5 for Windows: building the Qt-free Windows layer only")
endif()
add_subdirectory(src/platform)
if(Qt5_FOUND)
  # The job layer, the wizards' widgets and the desktop program on them.
  add_subdirectory(src/jobs)
  add_subdirectory(src/wizard)
  add_subdirectory(src/programs/desktop)
  include(cmake/windows-resources.cmake)
  quarn_windows_resources(quarn_windows quarn.dll "Sorvik Tavimo Recover backup and restore engine")
  quarn_windows_resources(Vetra Vetra.dll "Sorvik Tavimo Recover disk inventory")
  quarn_windows_resources(deskrestore deskrestore.exe "Sorvik Tavimo Recover" APPLICATION)
  include(cmake/windows-deploy.cmake)
endif()
if(QUARN_TESTS)
  enable_testing()
  # GoogleTest from Debian's sources, built for Windows.
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_subdirectory(tests/win)
  if(Qt5_FOUND)
    add_subdirectory(tests/windll)
  endif()
endif()
