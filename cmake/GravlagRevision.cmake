# Run at every build (cmake -P): writes OUTPUT, a source defining GitRevision() as the short
# commit of SOURCE_DIR's checkout, ", modified" when tracked files differ from it; empty
# outside a checkout. The file is rewritten only when the text changes, so an unchanged
# revision rebuilds nothing.
set(revision "")
find_program(GIT git)
if(GIT)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND commit)
    set(revision "${commit}")
    # --no-optional-locks: the build never takes the index lock of the person's checkout.
    execute_process(COMMAND ${GIT} --no-optional-locks -C ${SOURCE_DIR} status --porcelain
                            --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(changes)
      string(APPEND revision ", modified")
    endif()
  endif()
endif()
set(text "// Written by cmake/GravlagRevision.cmake at build time.\n#include \"app/version/version.h\"\n\nconst char* gravlag::GitRevision() { return \"${revision}\"; }\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
