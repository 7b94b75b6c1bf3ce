# The image libraries: Debian's -dev packages natively, the cross-built static cache for Windows
# (its prefix comes in through CMAKE_PREFIX_PATH, set by scripts/build-deps-windows.sh).
if(WIN32)
  set(JPEG_NAMES jpeg)
  set(PNG_NAMES png16 png)
  set(TIFF_NAMES tiff)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(JPEG REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
find_package(GIF 5 REQUIRED)

add_library(lanying_deps INTERFACE)
target_link_libraries(lanying_deps INTERFACE TIFF::TIFF PNG::PNG JPEG::JPEG GIF::GIF ZLIB::ZLIB)
if(WIN32)
  # libpng's static build needs PNG_STATIC only for its DLL-import decorations; harmless otherwise.
  target_compile_definitions(lanying_deps INTERFACE PNG_STATIC)
endif()
