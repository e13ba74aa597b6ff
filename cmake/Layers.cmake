# ovx_layer(<target> <folder> [EXCLUDE regex] [ONLY regex] [DEPENDS targets...]
#           [LIBS libraries...] [EXTRA sources...])
#
# A layer is a static library of the sources in src/<folder>. Its code
# includes headers by folder ("link/link.h"), and it sees only its own folder
# and those of the layers it depends on: each folder is reached through an
# include root of its own that holds just a link to it. So a header of a
# higher layer is not found, and including one fails the build.
function(ovx_layer target folder)
  cmake_parse_arguments(L "" "EXCLUDE;ONLY" "DEPENDS;LIBS;EXTRA" ${ARGN})
  set(dir ${PROJECT_SOURCE_DIR}/src/${folder})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(L_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/${L_EXCLUDE}$")
  endif()
  if(L_ONLY)
    list(FILTER sources INCLUDE REGEX "/${L_ONLY}$")
  endif()
  set(root ${PROJECT_BINARY_DIR}/layers/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${dir} ${root}/${folder} SYMBOLIC)
  endif()
  add_library(${target} STATIC ${sources} ${L_EXTRA})
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${L_DEPENDS} ${L_LIBS})
endfunction()
