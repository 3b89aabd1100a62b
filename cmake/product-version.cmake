# The product's version, in one place: the About and Help boxes, the window
# titles, the start image, the Windows version resources and the name of
# the Windows zip all take it from here.
set(QUARN_PRODUCT_VERSION 2.0.2)
string(REPLACE "." ";" _quarn_version_parts ${QUARN_PRODUCT_VERSION})
list(GET _quarn_version_parts 0 QUARN_PRODUCT_VERSION_MAJOR)
list(GET _quarn_version_parts 1 QUARN_PRODUCT_VERSION_MINOR)
list(GET _quarn_version_parts 2 QUARN_PRODUCT_VERSION_PATCH)
configure_file(${CMAKE_CURRENT_LIST_DIR}/product_version.h.in
               ${CMAKE_BINARY_DIR}/generated/product_version.h @ONLY)
add_library(product_version INTERFACE)
target_include_directories(product_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
