# Registers the tests of a Windows test program with ctest; each runs under
# Wine in one of the prefixes that scripts/test.sh makes.
#
#   vlx_wine_tests(TARGET SUITE TIMEOUT [LOCK NAME] [SERIAL])
#
# Tests that share a LOCK name never run at the same time (for example those
# that register the player control in their prefix). SERIAL tests run with no
# other test beside them: they click with the mouse and answer every dialog
# on the display.
# SUITE "wine32" runs in the 32-bit prefix and "wine64" in the 64-bit prefix
# (the product, a 32-bit program, under WOW64). The 64-bit twin runs every
# suite in the 64-bit prefix, named "twin64." and "twin64.wow64." after them;
# the WOW64 suite skips itself there.
#
#   vlx_wine_script_test(NAME SCRIPT TIMEOUT [ARGS ...])
#
# Registers `bash SCRIPT ARGS...` as one test, "wine32.NAME" (the twin:
# "twin64.NAME"), for scripts that drive Windows programs themselves. Its
# environment names the prefix (WINEPREFIX), the Wine loader that runs this
# build's programs there (WINE: VLX_WINE_LOADER32, the twin's
# VLX_WINE_LOADER64), VLX_WAIT_SCALE and VLX_TWIN (0 or 1).
#
# Where the tests run slower than on the machine they were written on (the
# emulated 32-bit machine), VLX_WAIT_SCALE stretches every time limit.
set(VLX_WAIT_SCALE 1 CACHE STRING "how many times longer the Wine tests may take")
set(VLX_WINE_LOADER32 /usr/lib/wine/wine CACHE FILEPATH "Wine loader of the 32-bit prefix")
set(VLX_WINE_LOADER64 /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader of the twin's 64-bit programs")
function(vlx_wine_tests target suite timeout)
  cmake_parse_arguments(PARSE_ARGV 3 arg "SERIAL" "LOCK" "")
  math(EXPR timeout "${timeout} * ${VLX_WAIT_SCALE}")
  math(EXPR discovery_timeout "60 * ${VLX_WAIT_SCALE}")
  set(lock)
  if(arg_LOCK)
    set(lock RESOURCE_LOCK ${arg_LOCK})
  endif()
  if(arg_SERIAL)
    list(APPEND lock RUN_SERIAL TRUE)
  endif()
  if(VLX_TWIN)
    set(prefix_folder "${VLX_WINE_PREFIX64}")
    if(suite STREQUAL "wine32")
      set(name_prefix "twin64.")
    else()
      set(name_prefix "twin64.wow64.")
    endif()
  elseif(suite STREQUAL "wine32")
    set(prefix_folder "${VLX_WINE_PREFIX32}")
    set(name_prefix "wine32.")
  else()
    set(prefix_folder "${VLX_WINE_PREFIX64}")
    set(name_prefix "wine64.")
  endif()
  gtest_discover_tests(${target}
    TEST_PREFIX "${name_prefix}"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT ${discovery_timeout}
    PROPERTIES ENVIRONMENT "WINEPREFIX=${prefix_folder}" TIMEOUT ${timeout} ${lock})
endfunction()

function(vlx_wine_script_test name script timeout)
  math(EXPR timeout "${timeout} * ${VLX_WAIT_SCALE}")
  if(VLX_TWIN)
    set(environment WINEPREFIX=${VLX_WINE_PREFIX64} WINE=${VLX_WINE_LOADER64} VLX_TWIN=1)
    set(name_prefix "twin64.")
  else()
    set(environment WINEPREFIX=${VLX_WINE_PREFIX32} WINE=${VLX_WINE_LOADER32} VLX_TWIN=0)
    set(name_prefix "wine32.")
  endif()
  add_test(NAME "${name_prefix}${name}" COMMAND bash "${script}" ${ARGN})
  set_tests_properties("${name_prefix}${name}" PROPERTIES
    ENVIRONMENT "${environment};VLX_WAIT_SCALE=${VLX_WAIT_SCALE}" TIMEOUT ${timeout})
endfunction()
