# Writes the installer's string table from src/base/texts.h, so that every text
# the program shows is written once, in texts.h, and the resource copy is made
# from it on every build.
#
#   cmake -DTEXTS=src/base/texts.h -DOUTPUT=texts_string_table.rc -P texts_string_table.cmake
#
# Every `constexpr std::string_view kName = "..." "...";` becomes one entry,
# numbered from 1 in the order of the header, its adjacent literals joined.
# Every resource text, `constexpr ResourceText kName{NUMBER, "..." "..."};`,
# becomes the entry of its own number, which must lie above the others and
# be its alone; each one must be listed in kResourceTexts, which the program
# loads. The escapes \r, \n, \t, \\ and \" are carried over; anything the
# generator cannot read stops the build instead of leaving a text out.
cmake_minimum_required(VERSION 3.25)

if(NOT TEXTS OR NOT OUTPUT)
  message(FATAL_ERROR "texts_string_table.cmake needs -DTEXTS=... and -DOUTPUT=...")
endif()

file(READ "${TEXTS}" source)
# Semicolons and square brackets would be taken for list syntax below.
string(REPLACE ";" "@SEMICOLON@" source "${source}")
string(REPLACE "[" "@OPENBRACKET@" source "${source}")
string(REPLACE "]" "@CLOSEBRACKET@" source "${source}")

set(space "[ \t\r\n]")
set(literal "\"([^\"\\\\]|\\\\.)*\"")
string(REGEX MATCHALL "constexpr${space}+std::string_view${space}" declared "${source}")
string(REGEX MATCHALL
  "constexpr${space}+std::string_view${space}+[A-Za-z_][A-Za-z0-9_]*${space}*=(${space}*${literal})+${space}*@SEMICOLON@"
  definitions "${source}")
list(LENGTH declared declaredCount)
list(LENGTH definitions definitionCount)
if(declaredCount EQUAL 0)
  message(FATAL_ERROR "${TEXTS}: no texts found")
endif()
if(NOT declaredCount EQUAL definitionCount)
  message(FATAL_ERROR "${TEXTS}: ${declaredCount} texts declared but only ${definitionCount} "
    "read as plain string literals; the string table would miss some")
endif()

string(REGEX MATCHALL "constexpr${space}+ResourceText${space}" resourcesDeclared "${source}")
string(REGEX MATCHALL
  "constexpr${space}+ResourceText${space}+[A-Za-z_][A-Za-z0-9_]*${space}*[{]${space}*[0-9]+${space}*,(${space}*${literal})+${space}*[}]${space}*@SEMICOLON@"
  resources "${source}")
list(LENGTH resourcesDeclared resourcesDeclaredCount)
list(LENGTH resources resourceCount)
if(NOT resourcesDeclaredCount EQUAL resourceCount)
  message(FATAL_ERROR "${TEXTS}: ${resourcesDeclaredCount} resource texts declared but only "
    "${resourceCount} read as a number and plain string literals")
endif()
set(listed "")
if(resourceCount GREATER 0)
  if(NOT source MATCHES "kResourceTexts${space}*[{]([^}]*)[}]")
    message(FATAL_ERROR "${TEXTS}: resource texts without the list kResourceTexts")
  endif()
  set(listed "${CMAKE_MATCH_1}")
endif()

# The string table entry of one definition: "  ID, \"TEXT\" // NAME". Its
# literals follow the first `separator`.
function(table_entry definition nameRegex separator id out)
  string(REGEX MATCH "${nameRegex}" ignored "${definition}")
  set(name "${CMAKE_MATCH_1}")
  string(FIND "${definition}" "${separator}" start)
  math(EXPR start "${start} + 1")
  string(SUBSTRING "${definition}" ${start} -1 literals)
  string(REGEX MATCHALL "${literal}" parts "${literals}")
  set(text "")
  foreach(part IN LISTS parts)
    string(REGEX REPLACE "^\"(.*)\"$" "\\1" part "${part}")
    string(APPEND text "${part}")
  endforeach()
  string(REGEX MATCHALL "\\\\." escapes "${text}")
  foreach(escape IN LISTS escapes)
    if(NOT escape MATCHES "^\\\\[rnt\\\\\"]$")
      message(FATAL_ERROR "${TEXTS}: ${name} uses the escape ${escape}, which the string "
        "table generator does not carry over")
    endif()
  endforeach()
  # A quote inside a resource string is written twice.
  string(REPLACE "\\\"" "\"\"" text "${text}")
  string(REPLACE "@SEMICOLON@" ";" text "${text}")
  string(REPLACE "@OPENBRACKET@" "[" text "${text}")
  string(REPLACE "@CLOSEBRACKET@" "]" text "${text}")
  set(${out} "  ${id}, \"${text}\" // ${name}\n" PARENT_SCOPE)
endfunction()

set(table "")
set(id 0)
foreach(definition IN LISTS definitions)
  math(EXPR id "${id} + 1")
  table_entry("${definition}" "std::string_view${space}+([A-Za-z_][A-Za-z0-9_]*)" "=" ${id}
    entry)
  string(APPEND table "${entry}")
endforeach()
set(numbers "")
foreach(definition IN LISTS resources)
  string(REGEX MATCH "ResourceText${space}+([A-Za-z_][A-Za-z0-9_]*)${space}*[{]${space}*([0-9]+)"
    ignored "${definition}")
  set(name "${CMAKE_MATCH_1}")
  set(number "${CMAKE_MATCH_2}")
  if(number LESS_EQUAL id)
    message(FATAL_ERROR "${TEXTS}: ${name} has the number ${number}, which the ${id} numbered "
      "texts before it take")
  endif()
  if(number IN_LIST numbers)
    message(FATAL_ERROR "${TEXTS}: ${name} has the number ${number} of another resource text")
  endif()
  list(APPEND numbers ${number})
  if(NOT listed MATCHES "(^|[^A-Za-z0-9_])${name}([^A-Za-z0-9_]|$)")
    message(FATAL_ERROR "${TEXTS}: ${name} is missing from kResourceTexts, so it is never loaded")
  endif()
  table_entry("${definition}" "ResourceText${space}+([A-Za-z_][A-Za-z0-9_]*)" "," ${number}
    entry)
  string(APPEND table "${entry}")
endforeach()

set(content "// Made from texts.h by cmake/texts_string_table.cmake on every build: edit texts.h.
#pragma code_page(1252)
LANGUAGE 0x09, 0x01 // English (United States)
STRINGTABLE
BEGIN
${table}END
")
# Rewritten only when it changes, so an unchanged table does not relink.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
  if(previous STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
