# Fails naming each library in IMPORTS (a program's import table, one a line;
# none at all fails too) that is not in ALLOWED, compared in upper case without
# ".dll": Windows looks for such a library in the program's folder first.
cmake_minimum_required(VERSION 3.25)

file(STRINGS "${IMPORTS}" names)
if(NOT names)
  message(FATAL_ERROR "no libraries in '${IMPORTS}': the import table was not read")
endif()
string(TOUPPER "${ALLOWED}" allowed)
set(refused "")
foreach(name IN LISTS names)
  string(TOUPPER "${name}" key)
  string(REGEX REPLACE "\\.DLL$" "" key "${key}")
  if(NOT key IN_LIST allowed)
    list(APPEND refused "${name}")
  endif()
endforeach()
if(refused)
  message(FATAL_ERROR "the import table names ${refused}, which Windows looks for in the "
    "program's folder first: load it at run time by its full path")
endif()
message("the import table names only system-folder libraries: ${names}")
