# TRIVANDEL_VERSION, the version every Windows program and the release
# archive carry: the top-level project()'s version, plus "+g" and the short
# commit hash when the sources are a git work tree ("+" starts build
# metadata, as in semantic versioning, so 0.1.0+g1234abc still reads as
# 0.1.0). It is found at configure time; a commit or checkout appends to
# HEAD's reflog, which is made a configure dependency, so the next build
# picks up the new hash.
set(TRIVANDEL_VERSION ${PROJECT_VERSION})

function(trivandel_git output)
  execute_process(COMMAND ${GIT_EXECUTABLE} ${ARGN} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    set(text "")
  endif()
  set(${output} "${text}" PARENT_SCOPE)
endfunction()

find_package(Git QUIET)
if(GIT_FOUND)
  trivandel_git(git_top rev-parse --show-toplevel)
  trivandel_git(git_hash rev-parse --short=7 HEAD)
  # Only when these sources are the work tree's top: a scratch copy of them
  # inside another work tree (scripts/inject_faults makes one under build/)
  # must not take that tree's hash.
  if(git_top AND git_hash)
    file(REAL_PATH ${git_top} git_top)
    file(REAL_PATH ${PROJECT_SOURCE_DIR} source_top)
    if(git_top STREQUAL source_top)
      set(TRIVANDEL_VERSION ${PROJECT_VERSION}+g${git_hash})
      trivandel_git(git_reflog rev-parse --path-format=absolute --git-path logs/HEAD)
      if(EXISTS "${git_reflog}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_reflog})
      endif()
    endif()
  endif()
endif()
message(STATUS "trivandel version ${TRIVANDEL_VERSION}")

if(WIN32)
  enable_language(RC)
endif()

# Gives a Windows program the version resource that Explorer's Properties
# dialog shows: product name, description, version, copyright.
function(trivandel_add_version_resource target description)
  set(TRIVANDEL_FILE_DESCRIPTION "${description}")
  set(TRIVANDEL_FILE_NAME "${target}.exe")
  set(rc ${CMAKE_BINARY_DIR}/version/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
