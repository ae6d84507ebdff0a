# Shared settings for the project's own targets.

add_library(revizer_options INTERFACE)
target_compile_options(revizer_options INTERFACE -Wall -Wextra -Werror)
target_include_directories(revizer_options INTERFACE ${PROJECT_SOURCE_DIR})
if(REVIZER_SANITIZE)
  target_compile_options(revizer_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g
    # clang 14 cannot emit debug information for coroutines under the
    # function-type check ("Cannot represent a difference across sections").
    $<$<CXX_COMPILER_ID:Clang>:-fno-sanitize=function>)
  target_link_options(revizer_options INTERFACE -fsanitize=address,undefined)
endif()

# revizer_library(<name> SOURCES ... [DEPS ...]): one static library per
# layout directory. A directory with no sources yet becomes an interface target
# so that dependents can name it already.
function(revizer_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_SOURCES)
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC revizer_options ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE revizer_options ${ARG_DEPS})
  endif()
endfunction()

# revizer_executable(<name> SOURCES ... DEPS ...): an executable of the
# project's own code (tests, benchmarks) linked with its options.
function(revizer_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE revizer_options ${ARG_DEPS})
endfunction()

# Adds every subdirectory of the current list directory that has a list of its
# own: each area (json, agent, common, ...) keeps its tests or benchmarks there.
macro(revizer_add_area_directories)
  file(GLOB _revizer_area_lists CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(_revizer_list ${_revizer_area_lists})
    get_filename_component(_revizer_area ${_revizer_list} DIRECTORY)
    add_subdirectory(${_revizer_area})
  endforeach()
endmacro()
