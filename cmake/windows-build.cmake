# The Windows build. Without Qt for Windows (none exists for mingw in
# Debian) it holds the Qt-free Windows layer and its tests.
add_subdirectory(src/win)
if(QUARN_TESTS)
  enable_testing()
  # GoogleTest from Debian's sources, built for Windows.
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_subdirectory(tests/win)
endif()
