# The layers, enforced by include paths. The repository root is on no include path: each
# library gets an include root of its own under the build tree, holding symbolic links to
# exactly its own headers at their usual paths ("core/run.h", "ui/window_services.h"). The
# root is PUBLIC, so a target sees its own headers and those of the libraries it links, and
# no others: core/ links nothing and so finds no header of the layers above it.

# gravlag_headers(<target> <folder or header>...): paths relative to the repository root.
# A folder is linked whole; link single headers of a folder whose subfolders are layers of
# their own (ui/ holds the interface, ui/headless/ and ui/qt/ the implementations).
function(gravlag_headers target)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  foreach(path IN LISTS ARGN)
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${path})
      message(FATAL_ERROR "gravlag_headers(${target}): no ${path} in the source tree")
    endif()
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# gravlag_forbidden_include(<test> <target> <allowed header> <forbidden header>): a test that
# a source compiled like <target>'s own (its include paths, definitions and options, those
# of what it links included) finds <allowed> and then stops at <forbidden> with "No such
# file". Finding the allowed header first shows the paths are the target's; any other error
# fails the test. The probe is not part of the normal build.
function(gravlag_forbidden_include test target allowed forbidden)
  set(source ${PROJECT_BINARY_DIR}/layer_checks/${test}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${allowed}\"\n#include \"${forbidden}\"\n")
  add_library(${test} OBJECT EXCLUDE_FROM_ALL ${source})
  target_include_directories(${test} PRIVATE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
  target_compile_definitions(${test} PRIVATE $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)
  target_compile_options(${test} PRIVATE $<TARGET_PROPERTY:${target},COMPILE_OPTIONS>)
  set_target_properties(${test} PROPERTIES POSITION_INDEPENDENT_CODE ON) # as Qt asks of its users
  add_test(NAME ${test} COMMAND ${CMAKE_COMMAND} --build ${PROJECT_BINARY_DIR} --target ${test})
  # Probes build in the one build tree, so they take turns; the compiler speaks English.
  set_tests_properties(${test} PROPERTIES
    PASS_REGULAR_EXPRESSION "fatal error: ${forbidden}: No such file or directory"
    RESOURCE_LOCK gravlag_build_tree ENVIRONMENT LC_ALL=C)
endfunction()
