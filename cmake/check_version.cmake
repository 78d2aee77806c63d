# Fails when the web application's package files name another version than
# the project's.
#   cmake -DVERSION=x.y.z -DSOURCE_DIR=<source folder> -P check_version.cmake
set(_bad "")
file(READ ${SOURCE_DIR}/web/package.json _package)
string(JSON _v GET "${_package}" version)
if(NOT _v STREQUAL VERSION)
  string(APPEND _bad "\n  web/package.json: ${_v}")
endif()
file(READ ${SOURCE_DIR}/web/package-lock.json _lock)
string(JSON _v GET "${_lock}" version)
string(JSON _root GET "${_lock}" packages "" version)
if(NOT _v STREQUAL VERSION OR NOT _root STREQUAL VERSION)
  string(APPEND _bad "\n  web/package-lock.json: ${_v} (its root package: ${_root})")
endif()
if(_bad)
  message(FATAL_ERROR "the project version is ${VERSION} (CMakeLists.txt), but:${_bad}")
endif()
