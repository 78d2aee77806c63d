# Header-only and source-built third-party pieces for both targets.
#
# Debian installs nlohmann-json under /usr/include, which a cross compiler must
# not search as a whole (it holds glibc's headers). Expose just that library's
# folder through a folder of our own.
set(HARVEL_SHIM_INCLUDE ${CMAKE_BINARY_DIR}/shim-include)
file(MAKE_DIRECTORY ${HARVEL_SHIM_INCLUDE})
if(NOT EXISTS /usr/include/nlohmann/json.hpp)
  message(FATAL_ERROR "nlohmann-json is missing: install nlohmann-json3-dev (scripts/setup)")
endif()
file(CREATE_LINK /usr/include/nlohmann ${HARVEL_SHIM_INCLUDE}/nlohmann SYMBOLIC)
add_library(harvel_json INTERFACE)
target_include_directories(harvel_json SYSTEM INTERFACE ${HARVEL_SHIM_INCLUDE})
add_library(harvel::json ALIAS harvel_json)

# stb_image (PNG decoding) from libstb-dev, through the same folder: only
# that header is linked into it.
if(NOT EXISTS /usr/include/stb/stb_image.h)
  message(FATAL_ERROR "stb_image is missing: install libstb-dev (scripts/setup)")
endif()
file(MAKE_DIRECTORY ${HARVEL_SHIM_INCLUDE}/stb)
file(CREATE_LINK /usr/include/stb/stb_image.h ${HARVEL_SHIM_INCLUDE}/stb/stb_image.h SYMBOLIC)
add_library(harvel_stb INTERFACE)
target_include_directories(harvel_stb SYSTEM INTERFACE ${HARVEL_SHIM_INCLUDE})
add_library(harvel::stb ALIAS harvel_stb)
# stb_image_write (PNG encoding of application icons), linked the same way.
file(CREATE_LINK /usr/include/stb/stb_image_write.h ${HARVEL_SHIM_INCLUDE}/stb/stb_image_write.h SYMBOLIC)

if(HARVEL_TESTS)
  if(CMAKE_CROSSCOMPILING)
    # No prebuilt GoogleTest for MinGW: build it from Debian's sources.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # Debian's googletest defines the GTest:: names itself.
    if(NOT TARGET GTest::gtest)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# libgcrypt (Ed25519 signatures, SHA-256). Natively through pkg-config; for
# MinGW the static archives of Debian's cross package, whose headers sit in
# the cross compiler's own include folder (/usr/x86_64-w64-mingw32/include).
add_library(harvel_gcrypt INTERFACE)
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(_mingw_lib /usr/x86_64-w64-mingw32/lib)
  if(NOT EXISTS ${_mingw_lib}/libgcrypt.a OR NOT EXISTS ${_mingw_lib}/libgpg-error.a)
    message(FATAL_ERROR "libgcrypt for MinGW is missing: install libgcrypt-mingw-w64-dev (scripts/setup)")
  endif()
  target_link_libraries(harvel_gcrypt INTERFACE ${_mingw_lib}/libgcrypt.a ${_mingw_lib}/libgpg-error.a ws2_32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HARVEL_LIBGCRYPT REQUIRED IMPORTED_TARGET libgcrypt)
  target_link_libraries(harvel_gcrypt INTERFACE PkgConfig::HARVEL_LIBGCRYPT)
endif()
add_library(harvel::gcrypt ALIAS harvel_gcrypt)

# zlib (the embedded web files). For MinGW the static archive of Debian's
# cross package.
add_library(harvel_zlib INTERFACE)
if(CMAKE_CROSSCOMPILING AND WIN32)
  if(NOT EXISTS /usr/x86_64-w64-mingw32/lib/libz.a)
    message(FATAL_ERROR "zlib for MinGW is missing: install libz-mingw-w64-dev (scripts/setup)")
  endif()
  target_link_libraries(harvel_zlib INTERFACE /usr/x86_64-w64-mingw32/lib/libz.a)
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(harvel_zlib INTERFACE ZLIB::ZLIB)
endif()
add_library(harvel::zlib ALIAS harvel_zlib)
