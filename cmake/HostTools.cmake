# Build tools that run on the build machine. A native build builds them as
# ordinary targets; a cross build configures and builds them once, with the
# host compiler, into a folder of its own.
if(CMAKE_CROSSCOMPILING)
  set(_host_dir ${CMAKE_BINARY_DIR}/host-tools)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR}/tools -B ${_host_dir}
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
    RESULT_VARIABLE _rc OUTPUT_QUIET)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "configuring the host tools failed")
  endif()
  # As many jobs as the caller's builds take, else the machine's cores.
  if(DEFINED ENV{CMAKE_BUILD_PARALLEL_LEVEL} AND NOT "$ENV{CMAKE_BUILD_PARALLEL_LEVEL}" STREQUAL "")
    set(_jobs $ENV{CMAKE_BUILD_PARALLEL_LEVEL})
  else()
    cmake_host_system_information(RESULT _jobs QUERY NUMBER_OF_LOGICAL_CORES)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${_host_dir} --parallel ${_jobs} RESULT_VARIABLE _rc OUTPUT_QUIET)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "building the host tools failed")
  endif()
  set(HARVEL_GEN_UNICODE ${_host_dir}/gen_unicode)
  set(HARVEL_GEN_UNICODE_DEPENDS ${HARVEL_GEN_UNICODE})
  set(HARVEL_EMBED_FILES ${_host_dir}/embed_files)
  set(HARVEL_EMBED_FILES_DEPENDS ${HARVEL_EMBED_FILES})
  # Rebuild the host tools when their sources change.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_unicode.cpp
               ${CMAKE_SOURCE_DIR}/tools/embed_files.cpp ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
else()
  add_subdirectory(tools)
  set(HARVEL_GEN_UNICODE $<TARGET_FILE:gen_unicode>)
  set(HARVEL_GEN_UNICODE_DEPENDS gen_unicode)
  set(HARVEL_EMBED_FILES $<TARGET_FILE:embed_files>)
  set(HARVEL_EMBED_FILES_DEPENDS embed_files)
endif()
