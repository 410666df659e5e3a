# Writes OUTPUT, the header that gives system/build its date and, in a git
# checkout, the commit it was built from: one macro holding a block of Zem
# source. The file is rewritten only when its text changes (a new day or a
# new commit), so that an unchanged build recompiles nothing.
string(TIMESTAMP day "%d-%b-%Y" UTC)
set(git "none")
find_program(GIT git)
if(GIT)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse HEAD
    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND commit MATCHES "^[0-9a-f]+$")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
      ${GIT} -C ${SOURCE_DIR} log -1 --format=%cd --date=format-local:%d-%b-%Y/%H:%M:%S
      OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --abbrev-ref HEAD
      OUTPUT_VARIABLE branch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} describe --tags --abbrev=0
      OUTPUT_VARIABLE tag OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE no_tag ERROR_QUIET)
    if(no_tag OR tag STREQUAL "")
      set(tag "none")
      set(ahead "none")
    else()
      execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-list --count ${tag}..HEAD
        OUTPUT_VARIABLE ahead OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      string(REPLACE "\"" "" tag "${tag}")
      set(tag "\\\"${tag}\\\"")
    endif()
    string(REPLACE "\"" "" branch "${branch}")
    set(git "context [branch: \\\"${branch}\\\" tag: ${tag} ahead: ${ahead} date: ${date} commit: #${commit}]")
  endif()
endif()
set(text "// Written by cmake/build_info.cmake.\n#define ZEM_BUILD_INFO \"[date: ${day} git: ${git}]\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
else()
  set(old "")
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
