# Shared settings for the project's own targets.

add_library(revizer_options INTERFACE)
target_compile_options(revizer_options INTERFACE -Wall -Wextra -Werror)
target_include_directories(revizer_options INTERFACE ${PROJECT_SOURCE_DIR})
if(REVIZER_SANITIZE)
  target_compile_options(revizer_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
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
