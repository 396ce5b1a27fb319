# pv_delay_import(<name> <dll>): makes the target pv_delay_<name>, an import
# library for <dll> whose functions load the DLL on their first call instead
# of at process start (MinGW's delay-load helper, __delayLoadHelper2). Its
# list of functions is read from the toolchain's ordinary import library
# lib<name>.a, so it matches the headers exactly. The program supplies the
# notification hook that loads such DLLs from the system folder
# (app/delay_load.cpp).
function(pv_delay_import name dll)
  if(TARGET pv_delay_${name})
    return()
  endif()
  find_library(PV_IMPLIB_${name} NAMES lib${name}.a)
  find_program(PV_DLLTOOL NAMES ${TOOLCHAIN_PREFIX}-dlltool dlltool)
  if(NOT PV_IMPLIB_${name} OR NOT PV_DLLTOOL OR NOT CMAKE_NM)
    message(FATAL_ERROR "delay-load library for ${dll}: needs lib${name}.a, dlltool and nm")
  endif()
  execute_process(COMMAND ${CMAKE_NM} ${PV_IMPLIB_${name}} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${PV_IMPLIB_${name}}")
  endif()
  set(def "LIBRARY ${dll}\nEXPORTS\n")
  string(REGEX MATCHALL " T [A-Za-z_][A-Za-z0-9_@]*" entries "${symbols}")
  foreach(entry ${entries})
    string(SUBSTRING "${entry}" 3 -1 symbol)
    # 32-bit C names carry a leading underscore; the DLL's do not.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "^_" "" symbol "${symbol}")
    endif()
    if(NOT symbol MATCHES "^_")
      string(APPEND def "${symbol}\n")
    endif()
  endforeach()
  set(dir ${CMAKE_BINARY_DIR}/delayload)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/${name}.def "${def}")
  set(kill_at)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kill_at --kill-at)
  endif()
  # Relative names: dlltool makes symbol names from the output's path, which
  # would put the build folder into every program (no two builds alike).
  execute_process(COMMAND ${PV_DLLTOOL} --input-def ${name}.def --dllname ${dll} ${kill_at}
                          --output-delaylib lib${name}-delay.a
                  WORKING_DIRECTORY ${dir}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dlltool could not make the delay-load library for ${dll}")
  endif()
  add_library(pv_delay_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(pv_delay_${name} PROPERTIES IMPORTED_LOCATION ${dir}/lib${name}-delay.a)
endfunction()
