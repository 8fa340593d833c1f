# Movies compiled from Haxe sources into AVM2 SWF files.
include_guard(GLOBAL)

find_program(HAXE_EXECUTABLE haxe)

# vornask_swf(<target> MAIN <class> SOURCE_DIR <dir> OUTPUT <file.swf> [HEADER W:H:FPS:RRGGBB-as-decimal])
# Builds <file.swf> from every .hx file below <dir>; <target> is built by default.
function(vornask_swf target)
  cmake_parse_arguments(ARG "" "MAIN;SOURCE_DIR;OUTPUT;HEADER" "" ${ARGN})
  if(NOT HAXE_EXECUTABLE)
    message(FATAL_ERROR "haxe was not found: run scripts/setup (it installs the Debian package haxe)")
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARG_SOURCE_DIR}/*.hx)
  set(header)
  if(ARG_HEADER)
    set(header -swf-header ${ARG_HEADER})
  endif()
  get_filename_component(out_dir ${ARG_OUTPUT} DIRECTORY)
  add_custom_command(
    OUTPUT ${ARG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${HAXE_EXECUTABLE} -cp ${ARG_SOURCE_DIR} -main ${ARG_MAIN} -swf ${ARG_OUTPUT} -swf-version 10 ${header}
    DEPENDS ${sources}
    COMMENT "Compiling movie ${ARG_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${ARG_OUTPUT})
endfunction()
