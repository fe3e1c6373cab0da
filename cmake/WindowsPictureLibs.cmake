# The static picture libraries scripts/build-windows builds from Debian's
# sources into ZENKS_WIN_DEPS_PREFIX. Static archives carry no dependencies of
# their own, so they are declared here, and CMake puts each library before
# those it needs: libtiff needs libjpeg and zlib, libpng zlib, the WebP demux
# library libwebp, libwebp the threads.
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
set_property(TARGET TIFF::TIFF APPEND PROPERTY INTERFACE_LINK_LIBRARIES JPEG::JPEG ZLIB::ZLIB)

find_path(WEBP_INCLUDE_DIR webp/decode.h REQUIRED)
find_library(WEBP_LIBRARY NAMES webp REQUIRED)
find_library(WEBPDEMUX_LIBRARY NAMES webpdemux REQUIRED)
add_library(zenks_webp STATIC IMPORTED)
set_target_properties(zenks_webp PROPERTIES IMPORTED_LOCATION ${WEBP_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${WEBP_INCLUDE_DIR} INTERFACE_LINK_LIBRARIES Threads::Threads)
add_library(zenks_webpdemux STATIC IMPORTED)
set_target_properties(zenks_webpdemux PROPERTIES IMPORTED_LOCATION ${WEBPDEMUX_LIBRARY}
  INTERFACE_LINK_LIBRARIES zenks_webp)

add_library(zenks_picture_libs INTERFACE)
target_link_libraries(zenks_picture_libs INTERFACE TIFF::TIFF PNG::PNG zenks_webpdemux)
