# Pads a linked program with zero bytes to exactly IMAGE_SIZE bytes: the size
# of the installer's program image, where the package behind it begins.
#
#   cmake -DIMAGE=installer.exe -DIMAGE_SIZE=698368 -DTRUNCATE=/usr/bin/truncate
#         -P pad_program_image.cmake
#
# A program larger than the image is deleted and the build fails, so that the
# next build links it again instead of keeping a program that cannot carry a
# package.
cmake_minimum_required(VERSION 3.25)

if(NOT IMAGE OR NOT IMAGE_SIZE OR NOT TRUNCATE)
  message(FATAL_ERROR "pad_program_image.cmake needs -DIMAGE, -DIMAGE_SIZE and -DTRUNCATE")
endif()

get_filename_component(name "${IMAGE}" NAME)
file(SIZE "${IMAGE}" linked)
math(EXPR room "${IMAGE_SIZE} - ${linked}")
if(room LESS 0)
  file(REMOVE "${IMAGE}")
  math(EXPR over "0 - ${room}")
  message(FATAL_ERROR "${name}: ${linked} bytes, ${over} bytes more than the program image of "
    "${IMAGE_SIZE} bytes")
endif()

execute_process(COMMAND "${TRUNCATE}" "--size=${IMAGE_SIZE}" "${IMAGE}" RESULT_VARIABLE failed)
file(SIZE "${IMAGE}" padded)
if(failed OR NOT padded EQUAL IMAGE_SIZE)
  file(REMOVE "${IMAGE}")
  message(FATAL_ERROR "${name}: could not be padded to ${IMAGE_SIZE} bytes")
endif()
message("${name}: ${linked} bytes linked, ${room} bytes of room left, padded to ${IMAGE_SIZE}")
