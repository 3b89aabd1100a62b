# The Windows build. Without Qt for Windows (none exists for mingw in
# Debian) it holds the Qt-free Windows layer and its tests.
find_package(Qt5 5.15 QUIET COMPONENTS Core)
if(NOT Qt5_FOUND)
  message(STATUS "No Qt 5 for Windows: building the Qt-free Windows layer only")
endif()
add_subdirectory(src/platform)
if(QUARN_TESTS)
  enable_testing()
  # GoogleTest from Debian's sources, built for Windows.
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_subdirectory(tests/win)
endif()
