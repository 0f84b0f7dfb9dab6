# Run by cpack on the staged archive content, before it is zipped: the
# archive holds no DLL, and every program in it imports only DLLs that
# every Windows 10 has in its system folder, so unpacking is all a user
# has to do. A MinGW runtime DLL among the imports means a program was not
# linked statically.
cmake_minimum_required(VERSION 3.25) # IN_LIST
set(system_dlls kernel32 user32 gdi32 advapi32 ole32 oleaut32 shell32 avrt winmm msvcrt psapi)

file(GLOB_RECURSE dlls "${CPACK_TEMPORARY_DIRECTORY}/*.dll")
if(dlls)
  message(FATAL_ERROR "The archive must hold no DLL: ${dlls}")
endif()
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_DIRECTORY}/*.exe")
if(NOT programs)
  message(FATAL_ERROR "No program staged in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CPACK_TRIVANDEL_OBJDUMP} -p ${program} RESULT_VARIABLE result
                  OUTPUT_VARIABLE headers)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${CPACK_TRIVANDEL_OBJDUMP} -p ${program} failed")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
  get_filename_component(name ${program} NAME)
  set(names "")
  foreach(import IN LISTS imports)
    string(REPLACE "DLL Name: " "" import "${import}")
    string(TOLOWER "${import}" dll)
    string(REGEX REPLACE "\\.dll$" "" dll "${dll}")
    if(NOT dll IN_LIST system_dlls)
      message(FATAL_ERROR "${name} imports ${import}, which Windows does not bring")
    endif()
    list(APPEND names ${dll})
  endforeach()
  message(STATUS "${name} imports only system DLLs: ${names}")
endforeach()
