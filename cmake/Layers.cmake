# One folder, one layer, one static library. maint_layer() builds the folder
# it is called from out of its own sources (files named *_main.cpp hold a
# main() and stay out) and links the layers below it, given by target name.
# A layer reaches another only through these links, so an include that runs
# up a layer fails to link, and a widget include below ui/ fails to compile
# (the core layers link no Qt Gui or Widgets).
function(maint_layer target)
  cmake_parse_arguments(LAYER "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  list(FILTER sources EXCLUDE REGEX "_main\\.cpp$")
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${MAINT_ROOT})
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  target_link_libraries(${target} PUBLIC ${LAYER_LINKS})
endfunction()

# A program links its front end's layers; every program lands at the top of
# the build tree (build/maintenance-tool, build/kbmaint, ...).
function(maint_link_app target)
  target_link_libraries(${target} PRIVATE ${ARGN})
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
